#pragma once

#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace kivo {

// Hands work from any thread to the thread that made the queue (the Qt main thread), in the
// order posted. Once closed, nothing posted earlier or later runs.
class MainThreadQueue {
public:
    MainThreadQueue();
    ~MainThreadQueue();
    MainThreadQueue(const MainThreadQueue&) = delete;
    MainThreadQueue& operator=(const MainThreadQueue&) = delete;

    // False when the queue was closed; the work is then dropped unrun.
    bool post(std::function<void()> work);
    // On the owning thread.
    void close();

private:
    std::mutex mutex_;
    std::unique_ptr<QObject> target_;
};

} // namespace kivo
