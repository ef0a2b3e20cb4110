#include "app/controller/UpdatesAndRestart.h"

#include "app/controller/BundleLocation.h"
#include "app/controller/SessionHost.h"
#include "app/lifecycle/RestartHelper.h"
#include "app/lifecycle/RestartTarget.h"
#include "app/lifecycle/UpdatePolicy.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/lifecycle/UpdateController.h"
#include "platform/bundle/AppBundle.h"

#include <QAction>
#include <QCoreApplication>

#include <unistd.h>

namespace kivo {
namespace {

// The desktop id: installed files and saved preferences are found under it.
constexpr const char* bundleIdentifier = "local.kivo.afm-trial";

std::filesystem::path bundleDirectory()
{
    return BundleLocation::bundleDirectory(QCoreApplication::applicationDirPath().toStdString());
}

} // namespace

UpdatesAndRestart::UpdatesAndRestart(SessionHost& host, std::filesystem::path resourcesDirectory)
    : host_(host), resourcesDirectory_(std::move(resourcesDirectory))
{
}

UpdatesAndRestart::~UpdatesAndRestart() = default;

bool UpdatesAndRestart::canUseUpdater() const
{
    const PanelActivity activity = host_.activity();
    return UpdatePolicy::canCheck(activity.converting, activity.speechBusy, activity.delivering, activity.restarting);
}

bool UpdatesAndRestart::configured() const
{
    return controller_ && controller_->updaterConfigured();
}

void UpdatesAndRestart::start(QAction* menuItem)
{
    menuItem_ = menuItem;
    if (!controller_) {
        FloatingPanel& panel = host_.panel();
        UpdateController::Host host;
        host.canUseUpdater = [this] { return canUseUpdater(); };
        host.sourceText = [&panel] { return panel.state().source; };
        host.resultText = [&panel] { return panel.state().result; };
        host.setStatus = [&panel](const QString& text) { panel.setStatus(text); };
        host.setRestartInProgress = [this](bool value) { restarting_ = value; };
        host.updateControls = [this] { host_.updateControls(); };
        host.savePreferences = [this] { host_.savePreferences(); };
        host.dialogParent = &panel.window();
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
        controller_ =
            std::make_unique<UpdateController>(host, std::move(configuration), &panel.checkUpdatesAction(), menuItem_);
    }
    localize();
    controller_->startUpdateService();
}

void UpdatesAndRestart::updateControls()
{
    if (controller_) {
        controller_->updateUpdateControls();
    } else {
        host_.panel().checkUpdatesAction().setEnabled(false);
    }
}

void UpdatesAndRestart::localize()
{
    if (controller_) {
        controller_->localizeUpdateControls();
        return;
    }
    // Before the update service starts nothing can be pending.
    UpdateController::localize(&host_.panel().checkUpdatesAction(), menuItem_, false);
}

void UpdatesAndRestart::checkForUpdates()
{
    if (controller_) {
        controller_->checkForUpdates();
    }
}

void UpdatesAndRestart::continueInstallation()
{
    if (controller_) {
        controller_->continueUpdateInstallation();
    }
}

void UpdatesAndRestart::restart()
{
    if (restarting_) {
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
    FloatingPanel& panel = host_.panel();
    try {
        RestartHelper::start(resourcesDirectory_, ::getpid(), target);
    } catch (const RestartHelper::RestartError& error) {
        panel.setStatus(error.message());
        return;
    }
    restarting_ = true;
    host_.updateControls();
    panel.hideSettings();
    host_.savePreferences();
    // The ordinary quit path: a running recording is cancelled before the app ends.
    host_.requestQuit();
}

} // namespace kivo
