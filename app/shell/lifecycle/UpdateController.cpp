#include "app/shell/lifecycle/UpdateController.h"

#include "app/lifecycle/UpdatePolicy.h"
#include "platform/bundle/AppBundle.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>

namespace kivo {

std::optional<UpdateService::Configuration> UpdateController::configurationFor(const std::filesystem::path& bundle)
{
    const auto info = AppBundle::open(bundle);
    if (!info) {
        return std::nullopt;
    }
    const auto feed = info->string("SUFeedURL");
    const auto key = info->string("SUPublicEDKey");
    if (!feed || !key) {
        return std::nullopt;
    }
    UpdateService::Configuration configuration;
    configuration.feedUrl = *feed;
    configuration.publicKey = *key;
    configuration.currentVersion = info->string("CFBundleShortVersionString").value_or("0");
    configuration.identifier = info->identifier().value_or("");
    configuration.bundle = bundle;
    return configuration;
}

UpdateController::UpdateController(Host host, std::optional<UpdateService::Configuration> configuration,
                                   QAction* panelAction, QAction* menuItem, QObject* parent)
    : QObject(parent), host_(std::move(host)), configuration_(std::move(configuration)), button_(panelAction),
      menuItem_(menuItem)
{
}

UpdateController::~UpdateController() = default;

void UpdateController::startUpdateService()
{
    if (!configuration_) {
        updateUpdateControls();
        return;
    }
    QPointer<UpdateController> weak(this);
    UpdateService::Delegate delegate;
    delegate.mayPerform = [weak] {
        if (weak) {
            weak->mayPerform();
        }
    };
    delegate.shouldPostponeRelaunch = [weak](std::function<void()> installAndRelaunch) {
        return weak && weak->shouldPostponeRelaunch(std::move(installAndRelaunch));
    };
    delegate.didAbort = [weak](const UpdateError& error) {
        if (weak) {
            weak->didAbort(error);
        }
    };
    updater_ = std::make_unique<UpdateService>(*configuration_, std::move(delegate));
    updater_->startUpdater();
    updater_->observeCanCheckForUpdates([weak](bool) {
        QMetaObject::invokeMethod(
            weak.data(),
            [weak] {
                if (weak) {
                    weak->updateUpdateControls();
                }
            },
            Qt::QueuedConnection);
    });
    updateUpdateControls();
}

void UpdateController::updateUpdateControls()
{
    const bool enabled =
        configuration_ && host_.canUseUpdater() && (installPending() || (updater_ && updater_->canCheckForUpdates()));
    if (button_) {
        button_->setEnabled(enabled);
    }
    if (menuItem_) {
        menuItem_->setEnabled(enabled);
    }
}

void UpdateController::localizeUpdateControls()
{
    localize(button_, menuItem_, installPending());
}

void UpdateController::localize(QAction* button, QAction* menuItem, bool installPending)
{
    const QString title = installPending ? tr("Continue Installing Update…") : tr("Check for Updates…");
    const QString help =
        installPending ? tr("Continue the postponed update after finishing current work.")
                       : tr("Check for a new Kivo version. Unavailable while recording, converting or inserting.");
    if (button != nullptr) {
        button->setText(title);
        button->setToolTip(help);
    }
    if (menuItem != nullptr) {
        menuItem->setText(title);
    }
}

void UpdateController::checkForUpdates()
{
    if (!configuration_ || !host_.canUseUpdater()) {
        return;
    }
    if (installPending()) {
        continueUpdateInstallation();
        return;
    }
    if (updater_ && updater_->canCheckForUpdates()) {
        updater_->checkForUpdates();
        updateUpdateControls();
    }
}

void UpdateController::mayPerform() const
{
    if (!host_.canUseUpdater()) {
        throw UpdateError(refusalDomain, 1,
                          tr("Kivo is recording, converting or inserting. Check again when finished.").toStdString());
    }
}

bool UpdateController::shouldPostponeRelaunch(std::function<void()> installAndRelaunch)
{
    pendingUpdateInstall_ = std::move(installAndRelaunch);
    localizeUpdateControls();
    updateUpdateControls();
    QPointer<UpdateController> weak(this);
    QMetaObject::invokeMethod(
        this,
        [weak] {
            if (weak) {
                weak->continueUpdateInstallation();
            }
        },
        Qt::QueuedConnection);
    return true;
}

void UpdateController::continueUpdateInstallation()
{
    if (!pendingUpdateInstall_ || consentDialog_) {
        return;
    }
    if (!host_.canUseUpdater()) {
        host_.setStatus(tr("When current work is done, click Continue Installing Update."));
        return;
    }
    if (!UpdatePolicy::needsContentConfirmation(host_.sourceText(), host_.resultText())) {
        install();
        return;
    }
    // Asked without a nested event loop: the answer arrives as a signal.
    auto* box = new QMessageBox(host_.dialogParent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setText(tr("Installing the update will clear current text"));
    box->setInformativeText(tr("Original and Result are kept only in memory. Copy anything you need first. "
                               "Continuing installs the update and relaunches Kivo."));
    QPushButton* installButton = box->addButton(tr("Install and Relaunch"), QMessageBox::AcceptRole);
    box->addButton(tr("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(installButton);
    consentDialog_ = box;
    QPointer<UpdateController> weak(this);
    connect(box, &QMessageBox::finished, this, [weak, box, installButton] {
        if (!weak) {
            return;
        }
        weak->consentDialog_ = nullptr;
        // The dialog may have stayed open for long: check again.
        if (box->clickedButton() == installButton && weak->host_.canUseUpdater()) {
            weak->install();
        }
    });
    box->open();
}

void UpdateController::install()
{
    auto continuation = std::exchange(pendingUpdateInstall_, nullptr);
    if (!continuation) {
        return;
    }
    host_.setRestartInProgress(true);
    localizeUpdateControls();
    host_.updateControls();
    host_.savePreferences();
    QMetaObject::invokeMethod(this, std::move(continuation), Qt::QueuedConnection);
}

void UpdateController::didAbort(const UpdateError& error)
{
    pendingUpdateInstall_ = nullptr;
    host_.setRestartInProgress(false);
    localizeUpdateControls();
    host_.updateControls();
    if (error.isNoUpdateFound()) {
        host_.setStatus(tr("No installable updates are available."));
    } else {
        host_.setStatus(tr("Update did not complete: ") + QString::fromStdString(error.localizedDescription()));
    }
}

} // namespace kivo
