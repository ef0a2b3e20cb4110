// Linked into every desktop test: a test that hangs (a call that never returns, an event that
// never comes) fails with its name within KIVO_TEST_WATCHDOG_SECONDS (default 90) instead of
// running into the suite's limit, and the processes it started are stopped with it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::seconds limitFromEnvironment()
{
    const char* value = std::getenv("KIVO_TEST_WATCHDOG_SECONDS");
    const int seconds = value ? std::atoi(value) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 90);
}

// Direct children of this process, from /proc.
void killChildren()
{
    const pid_t self = getpid();
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc) {
        return;
    }
    while (const dirent* entry = readdir(proc.get())) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) {
            continue;
        }
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // pid (name) state ppid ...; the name may hold spaces and parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == self) {
            kill(pid, SIGKILL);
        }
    }
}

// Outlives everything else: its thread watches until the process ends.
class Timer {
public:
    Timer() : limit_(limitFromEnvironment())
    {
        std::thread([this] { watch(); }).detach();
    }

    void arm(std::string what)
    {
        const std::lock_guard lock(mutex_);
        what_ = std::move(what);
        deadline_ = Clock::now() + limit_;
        armed_ = true;
        changed_.notify_all();
    }

    void disarm()
    {
        const std::lock_guard lock(mutex_);
        armed_ = false;
        changed_.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!armed_) {
                changed_.wait(lock);
                continue;
            }
            const Clock::time_point deadline = deadline_;
            if (changed_.wait_until(lock, deadline, [&] { return !armed_ || deadline_ != deadline; })) {
                continue;
            }
            std::fprintf(
                stderr,
                "\nwatchdog: %s still running after %lld s: it hangs; stopping it and the processes it started\n",
                what_.c_str(), static_cast<long long>(limit_.count()));
            std::fflush(stderr);
            killChildren();
            std::_Exit(124);
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string what_;
    Clock::time_point deadline_;
    bool armed_ = false;
};

class Watchdog : public ::testing::EmptyTestEventListener {
public:
    explicit Watchdog(Timer& timer) : timer_(timer) {}

    void OnTestSuiteStart(const ::testing::TestSuite& suite) override
    {
        timer_.arm(std::string(suite.name()) + " (set-up)");
    }
    void OnTestStart(const ::testing::TestInfo& test) override
    {
        timer_.arm(std::string(test.test_suite_name()) + "." + test.name());
    }
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        timer_.arm(std::string(test.test_suite_name()) + " (after " + test.name() + ")");
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { timer_.disarm(); }

private:
    Timer& timer_;
};

[[maybe_unused]] const bool installed = [] {
    Timer* timer = std::make_unique<Timer>().release();
    ::testing::UnitTest::GetInstance()->listeners().Append(std::make_unique<Watchdog>(*timer).release());
    return true;
}();

} // namespace
