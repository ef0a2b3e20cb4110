#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct lm_ggml_threadpool;

namespace kivo {

// Process-wide set-up of the llama runtime (internal to this layer).
namespace LlamaRuntime {

// Silences the runtime's logging, initialises it and loads the CPU backend module that sits
// next to the runtime library. Runs once per process; later calls return the first result.
// Returns what went wrong, or nothing on success. Call only after CpuSupport said yes.
std::optional<std::string> start();

// File name of the CPU backend module that start() loaded (empty before, or when none could be).
std::string cpuModule();

// Physical cores this process may run on: hyper-threads of one core share its arithmetic
// units, so a second thread per core only adds waiting.
int physicalCores();

// Threads for evaluating a model of the given size: one per physical core, but no more than
// the model's weights can keep busy (one per 32 MiB), since on a small model the threads spend
// their time waiting for each other.
int threadCount(std::uint64_t modelBytes);

// Of at most `maximum` threads, as many as there are physical cores not kept busy by other
// processes (RunnableTasks).
int threadsNow(int maximum);

// A pool of worker threads that sleep between evaluations instead of polling for work, so
// that they never compete with the process's own work or with other processes. Null when
// the CPU backend offers no pools.
struct ThreadpoolFree {
    void operator()(lm_ggml_threadpool* pool) const;
};
std::unique_ptr<lm_ggml_threadpool, ThreadpoolFree> makeThreadpool(int threads);

// Called with the runtime's message when one of its internal checks fails, just before it
// would abort the process; the handler is expected not to return.
using FatalHandler = void (*)(const char* message);
void onFatal(FatalHandler handler);

} // namespace LlamaRuntime
} // namespace kivo
