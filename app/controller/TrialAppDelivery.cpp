// Automatic insertion of a finished result into the focused input of another application.
#include "app/controller/TrialApp.h"
#include "app/delivery/AccessibilityDelivery.h"
#include "app/delivery/DeliveryOutcomeText.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"
#include "platform/time/PhaseTrace.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QWindow>

namespace kivo {

// One insertion, running on its own thread; it ends itself after reporting.
struct TrialApp::Delivery {
    QPointer<AccessibilityDelivery> running;
};

void TrialApp::setPanelTakesFocus(bool takesFocus)
{
    // A click on the panel while we write must not pull the keyboard focus from the target.
    if (QWindow* window = panel_->window->windowHandle()) {
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !takesFocus);
    }
}

void TrialApp::cancelDelivery()
{
    if (!deliveryTask_) {
        return;
    }
    // Cancelling hands the clipboard back; the outcome no longer matters to anyone.
    const auto delivery = std::move(deliveryTask_);
    if (delivery->running) {
        delivery->running->cancel();
    }
    setPanelTakesFocus(true);
}

void TrialApp::deliverProcessedText(const std::string& text)
{
    if (options_.deliver) {
        options_.deliver(text);
        return;
    }
    if (deliveryTask_) {
        return;
    }
    const QUuid captured = epoch_;
    deliveryTask_ = std::make_shared<Delivery>();
    std::weak_ptr<Delivery> running = deliveryTask_;
    deliveryTask_->running = AccessibilityDelivery::start(QString::fromStdString(text).toStdU16String());
    connect(deliveryTask_->running, &AccessibilityDelivery::finished, this,
            [this, running, captured](InputDelivery outcome, const QStringList& diagnostics) {
                const std::shared_ptr<Delivery> delivery = running.lock();
                if (!delivery || deliveryTask_ != delivery) {
                    return;
                }
                PhaseTrace::mark(outcome == InputDelivery::inserted ? "inserted"
                                                                    : "not-inserted:" + std::string(rawValue(outcome)));
                deliveryTask_.reset();
                setPanelTakesFocus(true);
                updateControls();
                if (epoch_ != captured) {
                    return;
                }
                FloatingPanel& p = *panel_;
                p.copyResult->setEnabled(!p.after->toPlainText().isEmpty());
                p.status->append(DeliveryOutcomeText::suffix(outcome, p.chinese()));
                p.status->setToolTip(p.status->text() + QLatin1Char('\n') + diagnostics.join(QLatin1Char('\n')));
            });
    setPanelTakesFocus(false);
    updateControls();
}

} // namespace kivo
