// Automatic insertion of a finished result into the focused input of another application.
#include "app/controller/TrialApp.h"
#include "app/delivery/FocusedInputWriter.h"
#include "app/shell/FloatingButton.h"
#include "app/shell/StatusLabel.h"
#include "app/shell/VoicePanel.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/time/PhaseTrace.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QWindow>

namespace kivo {

// One insertion: its own access, so every delivery starts with empty diagnostics.
struct TrialApp::Delivery {
    AccessibilityInputAccess access;
    std::unique_ptr<FocusedInputWriter::Insertion<AccessibleElement>> insertion;
};

namespace {

QString suffix(const TrialApp& app, InputDelivery outcome)
{
    switch (outcome) {
    case InputDelivery::inserted:
        return app.tr(" · 已填入目前輸入框", " · Inserted into the current input");
    case InputDelivery::permissionRequired:
        return app.tr(" · 需輔助使用權限；結果留在 Kivo", " · Accessibility access required; result kept in Kivo");
    case InputDelivery::noInput:
        return app.tr(" · 沒有輸入框；結果留在 Kivo", " · No input focused; result kept in Kivo");
    case InputDelivery::noCheckableInput:
        return app.tr(" · 目前的應用程式沒有 Kivo 能核對的輸入框；結果留在 Kivo，可手動複製",
                      " · The focused application has no input Kivo can check; result kept in Kivo to copy");
    case InputDelivery::unsupported:
        return app.tr(" · 此輸入框無法自動填入；請手動複製", " · Input cannot be filled automatically; copy manually");
    case InputDelivery::changed:
        return app.tr(" · 輸入目標或按鍵狀態已變動；結果留在 Kivo", " · Input or modifier keys changed; result kept in Kivo");
    case InputDelivery::uncertain:
        break;
    }
    return app.tr(" · 寫入狀態未確認，請先檢查目標；沒有重試",
                  " · Write unconfirmed; check the target before copying. Not retried");
}

} // namespace

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
    if (delivery->insertion) {
        delivery->insertion->cancel();
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
    QPointer<TrialApp> weak(this);
    deliveryTask_ = std::make_shared<Delivery>();
    std::weak_ptr<Delivery> running = deliveryTask_;
    deliveryTask_->insertion = FocusedInputWriter::insert(
        QString::fromStdString(text).toStdU16String(), deliveryTask_->access,
        [weak, running, captured](InputDelivery outcome) {
            TrialApp* app = weak.data();
            const std::shared_ptr<Delivery> delivery = running.lock();
            if (!app || !delivery || app->deliveryTask_ != delivery) {
                return;
            }
            PhaseTrace::mark(outcome == InputDelivery::inserted ? "inserted" : "not-inserted:" + std::string(rawValue(outcome)));
            app->deliveryTask_.reset();
            app->setPanelTakesFocus(true);
            app->updateControls();
            if (app->epoch_ != captured) {
                return;
            }
            FloatingPanel& p = *app->panel_;
            p.copyResult->setEnabled(!p.after->toPlainText().isEmpty());
            p.status->append(suffix(*app, outcome));
            QStringList lines;
            for (const std::string& line : delivery->access.diagnostics()) {
                lines << QString::fromStdString(line);
            }
            p.status->setToolTip(p.status->text() + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
        });
    setPanelTakesFocus(false);
    updateControls();
}

} // namespace kivo
