#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kivo {

// How many cores other processes keep busy, for choosing how many threads a computation may
// use. Threads of ggml meet after every operation, so one thread that waits for a core stalls
// all the others: a busy machine calls for fewer threads.
namespace RunnableTasks {

// The count of tasks competing for a core (competingNow, else the kernel's runnable count; this
// thread included) that held through the last 150 ms: a process that ran at one instant, such as a kernel worker, is
// not counted. Looks a few times, 2 ms apart, when nothing recent was seen. At least 1.
int steadyCount();

// The looks taken so far, each the time it was taken and the count seen.
class Looks {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double spanMs = 150.0;
    static constexpr std::size_t wanted = 3;

    void add(Clock::time_point at, int runnable) { seen_.emplace_back(at, runnable); }
    // Forgets the looks older than the span; whether enough recent ones are left.
    bool enoughAt(Clock::time_point now);
    // The count that held through the recent looks (see steadyOf); 1 with no looks at all.
    int steadyAt(Clock::time_point now) const;

private:
    std::deque<std::pair<Clock::time_point, int>> seen_;
};

// Of counts of runnable tasks, each with the milliseconds since it was read (newest last), the
// count that held throughout: the fewest among those read within `spanMs`. Nothing recent
// gives the newest count; no counts give 1.
int steadyOf(const std::vector<std::pair<double, int>>& looks, double spanMs);

// Whether the text of a task's /proc/PID/task/TID/stat describes a task that competes for a core
// now: runnable, and neither niced to `niceLimit` or more nor of the idle class (a background
// build at nice 19, a runner preparing in the background), since those give way at once.
// Nothing when the text is not of that form.
std::optional<bool> competesIn(const std::string& stat, int niceLimit = 10);

// How many tasks compete for a core now (see competesIn), this thread included; nothing when
// /proc cannot be read.
std::optional<int> competingNow();

// The runnable count in the text of /proc/loadavg ("0.47 1.14 1.58 2/110 12833"), at least 1;
// nothing when the text is not of that form.
std::optional<int> runnableIn(const std::string& loadavg);

// Of at most `maximum` threads, as many as `cores` leave free when `runnable` tasks (this
// thread included) want to run. At least 1.
int threadsFor(int maximum, int cores, int runnable);

} // namespace RunnableTasks
} // namespace kivo
