#include "tools/targetapp/EventLoopWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace kivo {

bool spinUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit, std::chrono::milliseconds step)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(step.count()));
        QThread::msleep(static_cast<unsigned long>(step.count()));
    }
    return true;
}

} // namespace kivo
