#pragma once

#include <utility>
#include <vector>

namespace kivo {

// How many cores other processes keep busy, for choosing how many threads a computation may
// use. Threads of ggml meet after every operation, so one thread that waits for a core stalls
// all the others: a busy machine calls for fewer threads.
namespace RunnableTasks {

// The kernel's count of runnable tasks (this thread included) that held through the last
// 150 ms: a process that ran at one instant, such as a kernel worker, is not counted. Looks a
// few times, 2 ms apart, when nothing recent was seen. At least 1.
int steadyCount();

// Of counts of runnable tasks, each with the milliseconds since it was read (newest last), the
// count that held throughout: the fewest among those read within `spanMs`. Nothing recent
// gives the newest count; no counts give 1.
int steadyOf(const std::vector<std::pair<double, int>>& looks, double spanMs);

// Of at most `maximum` threads, as many as `cores` leave free when `runnable` tasks (this
// thread included) want to run. At least 1.
int threadsFor(int maximum, int cores, int runnable);

}  // namespace RunnableTasks
}  // namespace kivo
