#include "app/delivery/AccessibilityDelivery.h"

#include "app/delivery/FocusedInputWriter.h"
#include "platform/accessibility/AccessibilityInputAccess.h"

#include <QThread>

namespace kivo {

// Lives on the insertion's thread; the insertion's timers belong to it.
struct AccessibilityDelivery::Worker {
    QObject context;
    std::unique_ptr<FocusedInputWriter::Insertion<AccessibleElement>> insertion;
};

AccessibilityDelivery::AccessibilityDelivery()
    : access_(std::make_unique<AccessibilityInputAccess>()), thread_(new QThread), worker_(std::make_unique<Worker>())
{
    worker_->context.moveToThread(thread_);
}

AccessibilityDelivery::~AccessibilityDelivery()
{
    // Reached only after the thread has ended (or never started), so nothing runs there.
    delete thread_;
}

AccessibilityDelivery* AccessibilityDelivery::start(const std::u16string& text)
{
    auto* delivery = new AccessibilityDelivery;
    delivery->run(text);
    return delivery;
}

void AccessibilityDelivery::run(const std::u16string& text)
{
    Worker* worker = worker_.get();
    AccessibilityInputAccess* access = access_.get();
    connect(thread_, &QThread::finished, this, [this] {
        // The insertion was destroyed on its own thread before it ended.
        worker_.reset();
        deleteLater();
    });
    thread_->start();
    QMetaObject::invokeMethod(&worker->context, [this, worker, access, text] {
        worker->insertion = FocusedInputWriter::insert(text, *access, [this](InputDelivery outcome) { end(outcome); });
    });
}

void AccessibilityDelivery::cancel()
{
    Worker* worker = worker_.get();
    if (!worker) {
        return;
    }
    QMetaObject::invokeMethod(&worker->context, [worker] {
        if (worker->insertion) {
            worker->insertion->cancel();
        }
    });
}

void AccessibilityDelivery::end(InputDelivery outcome)
{
    // Main thread: the insertion posts its completion to the application object.
    QStringList lines;
    for (const std::string& line : access_->diagnostics()) {
        lines << QString::fromStdString(line);
    }
    emit finished(outcome, lines);
    Worker* worker = worker_.get();
    QThread* thread = thread_;
    QMetaObject::invokeMethod(&worker->context, [worker, thread] {
        worker->insertion.reset();
        thread->quit();
    });
}

} // namespace kivo
