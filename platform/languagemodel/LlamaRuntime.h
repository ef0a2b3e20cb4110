#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// Of at most `maximum` threads, as many as there are cores not taken by other runnable
// processes right now. The threads meet after every operation, so one thread that waits
// for a core stalls all the others.
// A process that ran at one instant is not counted: only what stayed runnable through the
// last few looks (see steadyRunnable).
int threadsNow(int maximum);
// The same from the kernel's count of runnable tasks, this thread included (for tests).
int threadsFor(int maximum, int cores, int runnable);
// Of the kernel's counts of runnable tasks, each with the milliseconds since it was read (newest
// last), the count that held throughout: the fewest among those read within `spanMs`. Nothing
// recent gives the newest count.
int steadyRunnable(const std::vector<std::pair<double, int>>& looks, double spanMs);

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

}  // namespace LlamaRuntime
}  // namespace kivo
