#include "platform/process/RunnableTasks.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kivo::RunnableTasks {

namespace {

// The fourth field of /proc/loadavg is "runnable/total" at this instant.
std::optional<int> runnableNow() {
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen, tasks;
    if (!(loadavg >> one >> five >> fifteen >> tasks)) {
        return std::nullopt;
    }
    const int runnable = std::atoi(tasks.c_str());
    return runnable > 0 ? runnable : 1;
}

}  // namespace

int steadyOf(const std::vector<std::pair<double, int>>& looks, double spanMs) {
    if (looks.empty()) {
        return 1;
    }
    int fewest = looks.back().second;
    for (const auto& [ageMs, runnable] : looks) {
        if (ageMs <= spanMs) {
            fewest = std::min(fewest, runnable);
        }
    }
    return fewest;
}

int threadsFor(int maximum, int cores, int runnable) {
    const int others = std::max(0, runnable - 1);
    return std::clamp(cores - others, 1, std::max(1, maximum));
}

int steadyCount() {
    // Callers that ask every few tens of milliseconds fill the span by themselves; one that asks
    // after a long gap looks a few more times first.
    using Clock = std::chrono::steady_clock;
    constexpr double spanMs = 150.0;
    constexpr std::size_t enough = 3;
    static std::mutex mutex;
    static std::deque<std::pair<Clock::time_point, int>> history;
    std::lock_guard lock(mutex);
    const auto look = [&] {
        if (const auto runnable = runnableNow()) {
            history.emplace_back(Clock::now(), *runnable);
        }
    };
    const auto recent = [&] {
        const auto now = Clock::now();
        while (!history.empty() &&
               std::chrono::duration<double, std::milli>(now - history.front().first).count() > spanMs) {
            history.pop_front();
        }
        return history.size();
    };
    look();
    for (int extra = 0; recent() < enough && extra < 4 && !history.empty(); ++extra) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        look();
    }
    const auto now = Clock::now();
    std::vector<std::pair<double, int>> looks;
    looks.reserve(history.size());
    for (const auto& [when, runnable] : history) {
        looks.emplace_back(std::chrono::duration<double, std::milli>(now - when).count(), runnable);
    }
    return steadyOf(looks, spanMs);
}

}  // namespace kivo::RunnableTasks
