#include "platform/process/RunnableTasks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace kivo::RunnableTasks {

std::optional<int> runnableIn(const std::string& loadavg)
{
    // The fourth field is "runnable/total" at this instant.
    std::istringstream fields(loadavg);
    std::string one, five, fifteen, tasks;
    if (!(fields >> one >> five >> fifteen >> tasks)) {
        return std::nullopt;
    }
    const int runnable = std::atoi(tasks.c_str());
    return runnable > 0 ? runnable : 1;
}

std::optional<bool> competesIn(const std::string& stat, int niceLimit)
{
    // "pid (name) state ..." where the name may hold spaces and parentheses: the fields are
    // counted from the last ')'. After it: state is field 3, nice field 19, policy field 41.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::vector<std::string> after;
    for (std::string field; after.size() < 39 && fields >> field;) {
        after.push_back(field);
    }
    if (after.size() < 17 || after[0].size() != 1) {
        return std::nullopt;
    }
    if (after[0] != "R") {
        return false;
    }
    const int nice = std::atoi(after[16].c_str());
    const bool idleClass = after.size() >= 39 && std::atoi(after[38].c_str()) == SCHED_IDLE;
    return nice < niceLimit && !idleClass;
}

namespace {

std::optional<std::string> readSmall(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    char buffer[1024];
    const auto length = ::read(descriptor, buffer, sizeof buffer);
    ::close(descriptor);
    return length > 0 ? std::optional(std::string(buffer, static_cast<std::size_t>(length))) : std::nullopt;
}

bool isNumber(const char* name)
{
    return *name != '\0' &&
           std::all_of(name, name + std::char_traits<char>::length(name), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<int> competingNow()
{
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) {
        return std::nullopt;
    }
    int competing = 0;
    bool seen = false;
    while (const dirent* process = ::readdir(processes)) {
        if (!isNumber(process->d_name)) {
            continue;
        }
        const std::string tasksPath = std::string("/proc/") + process->d_name + "/task";
        DIR* tasks = ::opendir(tasksPath.c_str());
        if (tasks == nullptr) {
            continue; // ended meanwhile
        }
        while (const dirent* task = ::readdir(tasks)) {
            if (!isNumber(task->d_name)) {
                continue;
            }
            if (const auto stat = readSmall(tasksPath + "/" + task->d_name + "/stat")) {
                if (const auto competes = competesIn(*stat)) {
                    seen = true;
                    competing += *competes ? 1 : 0;
                }
            }
        }
        ::closedir(tasks);
    }
    ::closedir(processes);
    if (!seen) {
        return std::nullopt;
    }
    return std::max(1, competing);
}

int steadyOf(const std::vector<std::pair<double, int>>& looks, double spanMs)
{
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

bool Looks::enoughAt(Clock::time_point now)
{
    while (!seen_.empty() && std::chrono::duration<double, std::milli>(now - seen_.front().first).count() > spanMs) {
        seen_.pop_front();
    }
    return seen_.size() >= wanted;
}

int Looks::steadyAt(Clock::time_point now) const
{
    std::vector<std::pair<double, int>> looks;
    looks.reserve(seen_.size());
    for (const auto& [when, runnable] : seen_) {
        looks.emplace_back(std::chrono::duration<double, std::milli>(now - when).count(), runnable);
    }
    return steadyOf(looks, spanMs);
}

int threadsFor(int maximum, int cores, int runnable)
{
    const int others = std::max(0, runnable - 1);
    return std::clamp(cores - others, 1, std::max(1, maximum));
}

int steadyCount()
{
    // Callers that ask every few tens of milliseconds fill the span by themselves; one that asks
    // after a long gap looks a few more times first.
    static std::mutex mutex;
    static Looks looks;
    std::lock_guard lock(mutex);
    bool seen = false;
    const auto look = [&] {
        auto runnable = competingNow();
        if (!runnable) {
            std::ifstream file("/proc/loadavg");
            runnable = runnableIn(std::string(std::istreambuf_iterator<char>(file), {}));
        }
        if (runnable) {
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

} // namespace kivo::RunnableTasks
