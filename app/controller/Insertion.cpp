#include "app/controller/Insertion.h"

#include "app/controller/SessionHost.h"
#include "app/delivery/AccessibilityDelivery.h"
#include "app/delivery/DeliveryOutcomeText.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "platform/time/PhaseTrace.h"

#include <QPointer>
#include <QStringList>
#include <QWindow>

namespace kivo {

// One insertion, running on its own thread; it ends itself after reporting.
struct Insertion::Task {
    QPointer<AccessibilityDelivery> running;
};

Insertion::Insertion(SessionHost& host, std::function<void(const std::string&)> deliverInstead)
    : host_(host), deliverInstead_(std::move(deliverInstead))
{
}

Insertion::~Insertion() = default;

void Insertion::setPanelTakesFocus(bool takesFocus)
{
    // A click on the panel while we write must not pull the keyboard focus from the target.
    if (QWindow* window = host_.panel().window().windowHandle()) {
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !takesFocus);
    }
}

void Insertion::cancel()
{
    if (!task_) {
        return;
    }
    // Cancelling hands the clipboard back; the outcome no longer matters to anyone.
    const auto task = std::move(task_);
    if (task->running) {
        task->running->cancel();
    }
    setPanelTakesFocus(true);
}

void Insertion::deliver(const std::string& text, std::function<bool()> resultStillShown)
{
    if (deliverInstead_) {
        deliverInstead_(text);
        return;
    }
    if (task_) {
        return;
    }
    task_ = std::make_shared<Task>();
    std::weak_ptr<Task> running = task_;
    task_->running = AccessibilityDelivery::start(QString::fromStdString(text).toStdU16String());
    connect(task_->running, &AccessibilityDelivery::finished, this,
            [this, running, resultStillShown = std::move(resultStillShown)](InputDelivery outcome,
                                                                            const QStringList& diagnostics) {
                const std::shared_ptr<Task> task = running.lock();
                if (!task || task_ != task) {
                    return;
                }
                PhaseTrace::mark(outcome == InputDelivery::inserted ? "inserted"
                                                                    : "not-inserted:" + std::string(rawValue(outcome)));
                task_.reset();
                setPanelTakesFocus(true);
                host_.updateControls();
                if (!resultStillShown()) {
                    return;
                }
                FloatingPanel& panel = host_.panel();
                panel.setResult(panel.state().result, !panel.state().result.isEmpty());
                panel.appendStatus(DeliveryOutcomeText::suffix(outcome), diagnostics);
            });
    setPanelTakesFocus(false);
    host_.updateControls();
}

} // namespace kivo
