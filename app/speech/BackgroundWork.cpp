#include "app/speech/BackgroundWork.h"

#include <algorithm>
#include <vector>

namespace kivo {

BackgroundWork::BackgroundWork(std::chrono::milliseconds waitOnDestruction) : waitOnDestruction_(waitOnDestruction) {}

BackgroundWork::~BackgroundWork()
{
    if (waitFor(waitOnDestruction_)) {
        return;
    }
    // Work stuck past the bound (a decode that cannot be interrupted) cannot be joined without
    // hanging the quit; it is let go as the last resort, and only here.
    std::lock_guard lock(mutex_);
    for (auto& job : jobs_) {
        job.thread.detach();
    }
}

void BackgroundWork::start(std::function<void()> job)
{
    std::unique_lock lock(mutex_);
    joinFinished(lock);
    auto& entry = jobs_.emplace_back();
    entry.thread = std::thread([this, &entry, job = std::move(job)] {
        try {
            job();
        } catch (...) {
        }
        {
            std::lock_guard done(mutex_);
            entry.done = true;
        }
        changed_.notify_all();
    });
}

bool BackgroundWork::waitFor(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    const bool finished = changed_.wait_for(
        lock, limit, [&] { return std::all_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.done; }); });
    joinFinished(lock);
    return finished;
}

std::size_t BackgroundWork::running() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(jobs_.begin(), jobs_.end(), [](const Job& job) { return !job.done; }));
}

void BackgroundWork::joinFinished(std::unique_lock<std::mutex>& lock)
{
    std::vector<std::thread> finished;
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->done) {
            finished.push_back(std::move(it->thread));
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
    // A finished job's thread is past its last use of the lock; joining outside it is quick.
    lock.unlock();
    for (auto& thread : finished) {
        thread.join();
    }
    lock.lock();
}

} // namespace kivo
