#include "app/speech/MainThreadQueue.h"

#include <QMetaObject>
#include <QObject>

namespace kivo {

MainThreadQueue::MainThreadQueue() : target_(std::make_unique<QObject>()) {}

MainThreadQueue::~MainThreadQueue()
{
    close();
}

bool MainThreadQueue::post(std::function<void()> work)
{
    std::lock_guard lock(mutex_);
    if (!target_) {
        return false;
    }
    QMetaObject::invokeMethod(target_.get(), std::move(work), Qt::QueuedConnection);
    return true;
}

void MainThreadQueue::close()
{
    std::unique_ptr<QObject> target;
    {
        std::lock_guard lock(mutex_);
        target = std::move(target_);
    }
    // Deleting the target drops whatever was posted to it and not yet run.
}

} // namespace kivo
