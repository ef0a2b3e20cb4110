#pragma once

#include "app/delivery/InputDelivery.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <string>

class QThread;

namespace kivo {

class AccessibilityInputAccess;

// One automatic insertion into the focused input of another application, run on a thread of
// its own: reading, writing and verifying wait for other applications (and for libatspi's
// timeouts), which the main thread never does. The outcome arrives as a queued signal on the
// main thread; the object deletes itself once its thread has ended.
class AccessibilityDelivery : public QObject {
    Q_OBJECT

public:
    // Starts inserting `text` at once. Main thread.
    static AccessibilityDelivery* start(const std::u16string& text);
    ~AccessibilityDelivery() override;

    // Ends the insertion early (before the write: `changed`; during verification: `uncertain`);
    // `finished` still follows.
    void cancel();

signals:
    void finished(kivo::InputDelivery outcome, const QStringList& diagnostics);

private:
    AccessibilityDelivery();
    void run(const std::u16string& text);
    void end(InputDelivery outcome);

    struct Worker;
    std::unique_ptr<AccessibilityInputAccess> access_;
    QThread* thread_ = nullptr;
    std::unique_ptr<Worker> worker_;
};

} // namespace kivo
