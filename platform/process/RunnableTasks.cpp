#include "platform/process/RunnableTasks.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

namespace kivo::RunnableTasks {

std::optional<int> runnableIn(const std::string& loadavg) {
    // The fourth field is "runnable/total" at this instant.
    std::istringstream fields(loadavg);
    std::string one, five, fifteen, tasks;
    if (!(fields >> one >> five >> fifteen >> tasks)) {
        return std::nullopt;
    }
    const int runnable = std::atoi(tasks.c_str());
    return runnable > 0 ? runnable : 1;
}

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

bool Looks::enoughAt(Clock::time_point now) {
    while (!seen_.empty() && std::chrono::duration<double, std::milli>(now - seen_.front().first).count() > spanMs) {
        seen_.pop_front();
    }
    return seen_.size() >= wanted;
}

int Looks::steadyAt(Clock::time_point now) const {
    std::vector<std::pair<double, int>> looks;
    looks.reserve(seen_.size());
    for (const auto& [when, runnable] : seen_) {
        looks.emplace_back(std::chrono::duration<double, std::milli>(now - when).count(), runnable);
    }
    return steadyOf(looks, spanMs);
}

int threadsFor(int maximum, int cores, int runnable) {
    const int others = std::max(0, runnable - 1);
    return std::clamp(cores - others, 1, std::max(1, maximum));
}

int steadyCount() {
    // Callers that ask every few tens of milliseconds fill the span by themselves; one that asks
    // after a long gap looks a few more times first.
    static std::mutex mutex;
    static Looks looks;
    std::lock_guard lock(mutex);
    bool seen = false;
    const auto look = [&] {
        std::ifstream file("/proc/loadavg");
        if (const auto runnable = runnableIn(std::string(std::istreambuf_iterator<char>(file), {}))) {
            looks.add(Looks::Clock::now(), *runnable);
            seen = true;
        }
    };
    look();
    for (int extra = 0; !looks.enoughAt(Looks::Clock::now()) && seen && extra < 4; ++extra) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        look();
    }
    return looks.steadyAt(Looks::Clock::now());
}

}  // namespace kivo::RunnableTasks
