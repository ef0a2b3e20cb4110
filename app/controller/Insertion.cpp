#include "app/controller/Insertion.h"

#include "app/controller/SessionHost.h"
#include "app/delivery/FocusedInputWriter.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/Localization.h"
#include "app/shell/VoicePanel.h"
#include "platform/accessibility/AccessibilityInputAccess.h"

#include <QPointer>
#include <QStringList>
#include <QWindow>

namespace kivo {

// One insertion: its own access, so every insertion starts with empty diagnostics.
struct Insertion::Task {
    AccessibilityInputAccess access;
    std::unique_ptr<FocusedInputWriter::Insertion<AccessibleElement>> insertion;
};

namespace {

QString suffix(bool chinese, InputDelivery outcome)
{
    const auto tr = [chinese](const char* chineseText, const char* englishText) {
        return Localization::tr(chinese, chineseText, englishText);
    };
    switch (outcome) {
    case InputDelivery::inserted:
        return tr(" · 已填入目前輸入框", " · Inserted into the current input");
    case InputDelivery::permissionRequired:
        return tr(" · 需輔助使用權限；結果留在 Kivo", " · Accessibility access required; result kept in Kivo");
    case InputDelivery::noInput:
        return tr(" · 沒有輸入框；結果留在 Kivo", " · No input focused; result kept in Kivo");
    case InputDelivery::noCheckableInput:
        return tr(" · 目前的應用程式沒有 Kivo 能核對的輸入框；結果留在 Kivo，可手動複製",
                  " · The focused application has no input Kivo can check; result kept in Kivo to copy");
    case InputDelivery::unsupported:
        return tr(" · 此輸入框無法自動填入；請手動複製", " · Input cannot be filled automatically; copy manually");
    case InputDelivery::changed:
        return tr(" · 輸入目標或按鍵狀態已變動；結果留在 Kivo", " · Input or modifier keys changed; result kept in Kivo");
    case InputDelivery::uncertain:
        break;
    }
    return tr(" · 寫入狀態未確認，請先檢查目標；沒有重試", " · Write unconfirmed; check the target before copying. Not retried");
}

} // namespace

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
    const auto task = std::move(task_);
    if (task->insertion) {
        task->insertion->cancel();
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
    QPointer<Insertion> weak(this);
    task_ = std::make_shared<Task>();
    std::weak_ptr<Task> running = task_;
    task_->insertion = FocusedInputWriter::insert(
        QString::fromStdString(text).toStdU16String(), task_->access,
        [weak, running, resultStillShown = std::move(resultStillShown)](InputDelivery outcome) {
            Insertion* self = weak.data();
            const std::shared_ptr<Task> task = running.lock();
            if (!self || !task || self->task_ != task) {
                return;
            }
            self->task_.reset();
            self->setPanelTakesFocus(true);
            self->host_.updateControls();
            if (!resultStillShown()) {
                return;
            }
            FloatingPanel& panel = self->host_.panel();
            panel.setResult(panel.state().result, !panel.state().result.isEmpty());
            QStringList lines;
            for (const std::string& line : task->access.diagnostics()) {
                lines << QString::fromStdString(line);
            }
            panel.appendStatus(suffix(panel.chinese(), outcome), lines);
        });
    setPanelTakesFocus(false);
    host_.updateControls();
}

} // namespace kivo
