#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kivo {

// Process-wide set-up of the llama runtime (internal to this layer).
namespace LlamaRuntime {

// Silences the runtime's logging, initialises it and loads the CPU backend module that sits
// next to the runtime library. Runs once per process; later calls return the first result.
// Returns what went wrong, or nothing on success. Call only after CpuSupport said yes.
std::optional<std::string> start();

// Threads for evaluating a model of the given size: one per hardware thread, but no more
// than the model's weights can keep busy (one per 32 MiB), since on a small model the
// threads spend their time waiting for each other.
int threadCount(std::uint64_t modelBytes);

}  // namespace LlamaRuntime
}  // namespace kivo
