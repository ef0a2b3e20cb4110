// The recording shortcut's part of the controller: registration, labels, the permission poll.
#include "app/controller/TrialApp.h"

#include "platform/accessibilitybus/AccessibilityBus.h"
#include "platform/hotkeys/X11ShortcutBackend.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace kivo {

namespace {

bool isTrusted(const TrialApp::Options& options)
{
    return options.isTrusted ? options.isTrusted() : AccessibilityBus::isEnabled();
}

} // namespace

GlobalShortcut& TrialApp::globalShortcut()
{
    if (!globalShortcut_) {
        auto backend = options_.makeShortcutBackend ? options_.makeShortcutBackend()
                                                    : std::make_unique<X11ShortcutBackend>();
        QPointer<TrialApp> app(this);
        globalShortcut_ = std::make_unique<GlobalShortcut>(
            std::move(backend), [this] { return isTrusted(options_); },
            [app] {
                if (app) {
                    app->recordFromShortcut();
                }
            });
    }
    return *globalShortcut_;
}

PanelShortcut TrialApp::selectedShortcut() const
{
    return PanelShortcut::atIndex(panel_->shortcutChoice->currentIndex());
}

void TrialApp::refreshShortcut()
{
    if (shortcutMonitoringStarted_) {
        shortcutState_ = globalShortcut().configure(selectedShortcut());
    }
    updateShortcutLabels();
}

void TrialApp::startShortcutMonitoring()
{
    shortcutMonitoringStarted_ = true;
    refreshShortcut();
    shortcutPermissionTimer_ = std::make_unique<QTimer>();
    shortcutPermissionTimer_->setInterval(options_.permissionPollInterval);
    shortcutPermissionTimer_->setTimerType(Qt::CoarseTimer);
    QPointer<TrialApp> app(this);
    connect(shortcutPermissionTimer_.get(), &QTimer::timeout, this, [app] {
        if (!app || !app->shortcutMonitoringStarted_) {
            return;
        }
        if (const auto state = app->globalShortcut().refreshPermission()) {
            app->shortcutState_ = *state;
            app->updateShortcutLabels();
        }
    });
    shortcutPermissionTimer_->start();
}

void TrialApp::stopShortcutMonitoring()
{
    shortcutMonitoringStarted_ = false;
    shortcutPermissionTimer_.reset();
    if (globalShortcut_) {
        globalShortcut_->stop();
    }
}

void TrialApp::updateShortcutLabels()
{
    FloatingPanel& p = *panel_;
    p.shortcutTitle->setText(tr("錄音快捷鍵", "Recording shortcut"));
    p.shortcutChoice->setAccessibleName(p.shortcutTitle->text());
    for (const auto shortcut : PanelShortcut::allCases) {
        p.shortcutChoice->setItemText(PanelShortcut(shortcut).index(),
                                      QString::fromUtf8(PanelShortcut(shortcut).title(chinese())));
    }
    p.shortcutPermission->setText(tr("開啟輔助使用…", "Turn on accessibility…"));

    const PanelShortcut selection = selectedShortcut();
    const bool permissionNeeded =
        (selection == PanelShortcut::rightCommand || p.autoInsert->isChecked()) && !isTrusted(options_);
    p.shortcutPermission->setVisible(permissionNeeded);

    QString info;
    if (permissionNeeded) {
        info = tr("全域右 Super 及自動填入需要桌面的輔助使用設定。請按下方按鈕或在桌面設定中開啟；程式會自動偵測。",
                  "The global Right Super tap and automatic insertion need the desktop's accessibility setting. "
                  "Turn it on with the button below or in the desktop's settings; the change is detected automatically.");
    } else if (shortcutState_.kind() == GlobalShortcut::State::Kind::failed) {
        const QString status = QString::number(shortcutState_.status());
        info = tr("快捷鍵註冊失敗（", "Shortcut unavailable (") + status +
               tr("），請改選另一組。", "). Choose another combination.");
    } else if (selection == PanelShortcut::disabled) {
        info = tr("快捷鍵已停用；仍可在浮窗按麥克風錄音。", "Shortcut disabled. You can still use the microphone button.");
    } else {
        info = tr("按一下開始錄音，再按一下停止；背景處理，不切換目前 App。",
                  "Press to start, press again to stop. Processes in the background without switching apps.");
    }
    p.shortcutInfo->setText(info);
    p.updateSettingsLayout();
}

void TrialApp::shortcutChanged()
{
    refreshShortcut();
    savePreferences();
}

void TrialApp::autoInsertChanged()
{
    updateShortcutLabels();
    savePreferences();
}

void TrialApp::requestShortcutPermission()
{
    // On this desktop the "prompt" turns the accessibility bus on; applications that were
    // already running read that setting at start, so they may need a restart.
    const bool enabled = options_.requestTrust ? options_.requestTrust() : AccessibilityBus::setEnabled(true);
    setStatus(enabled ? tr("已開啟輔助使用；已在執行的 App 可能需要重新啟動才能使用自動填入。",
                           "Accessibility is on. Apps that were already running may need a restart for automatic insertion.")
                      : tr("無法開啟輔助使用：系統的輔助使用服務沒有回應。",
                           "Could not turn on Accessibility: the accessibility service did not answer."));
    refreshShortcut();
}

void TrialApp::recordingCommand(RecordingCommand command)
{
    const bool recording = speechBusy_ && speechStatus_ == SpeechSession::Status::recording;
    if (RecordingCommands::presses(command, speechBusy_, recording)) {
        recordFromShortcut();
    }
}

void TrialApp::applicationDidBecomeActive()
{
    if (shortcutMonitoringStarted_) {
        refreshShortcut();
    }
}

} // namespace kivo
