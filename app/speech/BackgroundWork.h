#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace kivo {

// Threads that must not outlive their owner: the recorder's preparation, result reading,
// finalization and analyzer clean-up. Whoever owns this waits for them, with a bound, before
// the objects they use (and, at quit, the process's statics) go away.
class BackgroundWork {
public:
    // How long destruction waits for unfinished work.
    static constexpr std::chrono::milliseconds defaultWait{5000};

    explicit BackgroundWork(std::chrono::milliseconds waitOnDestruction = defaultWait);
    // Waits for the work still running, at most the bound given above.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Runs `job` on a thread of its own. Exceptions from it are dropped.
    void start(std::function<void()> job);

    // Waits until every job has ended or `limit` has passed; true when none is left.
    bool waitFor(std::chrono::milliseconds limit);

    std::size_t running() const;

private:
    struct Job {
        std::thread thread;
        bool done = false;
    };

    void joinFinished(std::unique_lock<std::mutex>& lock);

    std::chrono::milliseconds waitOnDestruction_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::list<Job> jobs_;
};

} // namespace kivo
