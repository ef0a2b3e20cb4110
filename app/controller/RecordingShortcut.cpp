#include "app/controller/RecordingShortcut.h"

#include "app/controller/SessionHost.h"
#include "app/shell/FloatingPanel.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "platform/hotkeys/X11ShortcutBackend.h"

#include <QTimer>

namespace kivo {

RecordingShortcut::RecordingShortcut(SessionHost& host, const SessionOptions& options, std::function<void()> press)
    : host_(host), options_(options), press_(std::move(press))
{
}

RecordingShortcut::~RecordingShortcut() = default;

bool RecordingShortcut::trusted() const
{
    return options_.isTrusted ? options_.isTrusted() : AccessibilityBus::isEnabled();
}

GlobalShortcut& RecordingShortcut::globalShortcut()
{
    if (!globalShortcut_) {
        auto backend =
            options_.makeShortcutBackend ? options_.makeShortcutBackend() : std::make_unique<X11ShortcutBackend>();
        globalShortcut_ = std::make_unique<GlobalShortcut>(
            std::move(backend), [this] { return trusted(); }, [this] { press_(); });
    }
    return *globalShortcut_;
}

void RecordingShortcut::refresh()
{
    if (started_) {
        state_ = globalShortcut().configure(PanelShortcut::atIndex(host_.panel().state().settings.shortcutIndex));
    }
    updateLabels();
}

void RecordingShortcut::start()
{
    started_ = true;
    refresh();
    permissionTimer_ = std::make_unique<QTimer>();
    permissionTimer_->setInterval(options_.permissionPollInterval);
    permissionTimer_->setTimerType(Qt::CoarseTimer);
    connect(permissionTimer_.get(), &QTimer::timeout, this, [this] {
        if (!started_) {
            return;
        }
        if (const auto state = globalShortcut().refreshPermission()) {
            state_ = *state;
            updateLabels();
        }
    });
    permissionTimer_->start();
}

void RecordingShortcut::stop()
{
    started_ = false;
    permissionTimer_.reset();
    if (globalShortcut_) {
        globalShortcut_->stop();
    }
}

void RecordingShortcut::updateLabels()
{
    const PanelSettings& settings = host_.panel().state().settings;
    const PanelShortcut selection = PanelShortcut::atIndex(settings.shortcutIndex);
    const bool permissionNeeded = (selection == PanelShortcut::rightCommand || settings.autoInsert) && !trusted();
    QString info;
    if (permissionNeeded) {
        info =
            tr("The global Right Super tap and automatic insertion need the desktop's accessibility setting. "
               "Turn it on with the button below or in the desktop's settings; the change is detected automatically.");
    } else if (state_.kind() == GlobalShortcut::State::Kind::failed) {
        const QString status = QString::number(state_.status());
        info = tr("Shortcut unavailable (%1). Choose another combination.").arg(status);
    } else if (selection == PanelShortcut::disabled) {
        info = tr("Shortcut disabled. You can still use the microphone button.");
    } else {
        info = tr("Press to start, press again to stop. Processes in the background without switching apps.");
    }
    host_.panel().setShortcutInfo(info, permissionNeeded);
}

void RecordingShortcut::requestPermission()
{
    // On this desktop the "prompt" turns the accessibility bus on; applications that were
    // already running read that setting at start, so they may need a restart.
    const bool enabled = options_.requestTrust ? options_.requestTrust() : AccessibilityBus::setEnabled(true);
    host_.panel().setStatus(
        enabled ? tr("Accessibility is on. Apps that were already running may need a restart for automatic insertion.")
                : tr("Could not turn on Accessibility: the accessibility service did not answer."));
    refresh();
}

void RecordingShortcut::activated()
{
    if (started_) {
        refresh();
    }
}

} // namespace kivo
