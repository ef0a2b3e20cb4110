// TrialApp: update controls and decisions, and Restart.
#include "app/controller/BundleLocation.h"
#include "app/controller/TrialApp.h"
#include "app/shell/SettingsPopover.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/lifecycle/RestartHelper.h"
#include "app/shell/lifecycle/RestartTarget.h"
#include "app/shell/lifecycle/UpdateController.h"
#include "app/shell/lifecycle/UpdatePolicy.h"
#include "platform/bundle/AppBundle.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include <unistd.h>

namespace kivo {
namespace {

constexpr const char* bundleIdentifier = "local.kivo.afm-trial";

std::filesystem::path bundleDirectory()
{
    return BundleLocation::bundleDirectory(QCoreApplication::applicationDirPath().toStdString());
}

} // namespace

bool TrialApp::canUseUpdater() const
{
    return UpdatePolicy::canCheck(process_ != nullptr, speechBusy_, static_cast<bool>(deliveryTask_), restartInProgress_);
}

bool TrialApp::updaterConfigured() const
{
    return updateController_ && updateController_->updaterConfigured();
}

void TrialApp::startUpdateService()
{
    if (!updateController_) {
        UpdateController::Host host;
        host.canUseUpdater = [this] { return canUseUpdater(); };
        host.chinese = [this] { return chinese(); };
        host.sourceText = [this] { return panel_->before->toPlainText(); };
        host.resultText = [this] { return panel_->after->toPlainText(); };
        host.setStatus = [this](const QString& text) { setStatus(text); };
        host.setRestartInProgress = [this](bool value) { restartInProgress_ = value; };
        host.updateControls = [this] { updateControls(); };
        host.savePreferences = [this] { savePreferences(); };
        host.dialogParent = panel_->window.get();
        auto configuration = UpdateController::configurationFor(bundleDirectory());
        if (configuration) {
            // The new bundle's own helper reopens it once this process has quit.
            configuration->relaunch = [](const std::filesystem::path& bundle) {
                try {
                    RestartHelper::start(bundle / "Resources", ::getpid(), bundle);
                } catch (const RestartHelper::RestartError&) {
                    // Installed but not reopened: the user starts it again.
                }
                QCoreApplication::quit();
            };
        }
        updateController_ = std::make_unique<UpdateController>(host, std::move(configuration),
                                                               panel_->checkUpdatesButton, checkUpdatesMenuItem_);
    }
    localizeUpdateControls();
    updateController_->startUpdateService();
}

void TrialApp::updateUpdateControls()
{
    if (updateController_) {
        updateController_->updateUpdateControls();
    } else {
        panel_->checkUpdatesButton->setEnabled(false);
    }
}

void TrialApp::localizeUpdateControls()
{
    if (updateController_) {
        updateController_->localizeUpdateControls();
        return;
    }
    // Before the update service starts nothing can be pending.
    UpdateController::localize(panel_->checkUpdatesButton, checkUpdatesMenuItem_, false, chinese());
}

void TrialApp::checkForUpdates()
{
    if (updateController_) {
        updateController_->checkForUpdates();
    }
}

void TrialApp::continueUpdateInstallation()
{
    if (updateController_) {
        updateController_->continueUpdateInstallation();
    }
}

void TrialApp::restartApp()
{
    if (restartInProgress_) {
        return;
    }
    const auto current = bundleDirectory();
    std::optional<std::filesystem::path> launcher;
    if (const auto bundle = AppBundle::open(current)) {
        if (const auto path = bundle->string("KIVODevelopmentLauncher")) {
            launcher = *path;
        }
    }
    const auto target = RestartTarget::resolve(current, launcher, bundleIdentifier);
    try {
        RestartHelper::start(resourcesDirectory_, ::getpid(), target);
    } catch (const RestartHelper::RestartError& error) {
        setStatus(error.message(chinese()));
        return;
    }
    restartInProgress_ = true;
    panel_->restartButton->setEnabled(false);
    panel_->settingsPopover->hide();
    savePreferences();
    // The ordinary quit path: a running recording is cancelled before the app ends.
    requestQuit();
}

} // namespace kivo
