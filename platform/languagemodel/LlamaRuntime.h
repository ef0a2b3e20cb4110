#pragma once

#include <optional>
#include <string>

namespace kivo {

// Process-wide set-up of the llama runtime (internal to this layer).
namespace LlamaRuntime {

// Silences the runtime's logging, initialises it and loads the CPU backend module that sits
// next to the runtime library. Runs once per process; later calls return the first result.
// Returns what went wrong, or nothing on success. Call only after CpuSupport said yes.
std::optional<std::string> start();

// Threads for evaluation: one per hardware thread of the machine.
int threadCount();

}  // namespace LlamaRuntime
}  // namespace kivo
