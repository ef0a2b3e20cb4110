#include "app/shell/lifecycle/UpdateController.h"

#include "app/shell/Localization.h"

#include "app/shell/lifecycle/UpdatePolicy.h"
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

QString UpdateController::tr(const char* chineseText, const char* englishText) const
{
    return QString::fromUtf8(host_.chinese && host_.chinese() ? chineseText : englishText);
}

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
            weak.data(), [weak] {
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
    const bool enabled = configuration_ && host_.canUseUpdater()
                         && (installPending() || (updater_ && updater_->canCheckForUpdates()));
    if (button_) {
        button_->setEnabled(enabled);
    }
    if (menuItem_) {
        menuItem_->setEnabled(enabled);
    }
}

void UpdateController::localizeUpdateControls()
{
    localize(button_, menuItem_, installPending(), host_.chinese());
}

void UpdateController::localize(QAction* button, QAction* menuItem, bool installPending, bool chinese)
{
    const auto tr = [chinese](const char* chineseText, const char* englishText) {
        return Localization::tr(chinese, chineseText, englishText);
    };
    const QString title = installPending ? tr("繼續安裝更新…", "Continue Installing Update…")
                                         : tr("檢查更新…", "Check for Updates…");
    const QString help = installPending
                             ? tr("完成目前工作後，繼續已暫緩的更新。",
                                  "Continue the postponed update after finishing current work.")
                             : tr("檢查 Kivo 新版本。錄音、轉換及填入期間不可檢查。",
                                  "Check for a new Kivo version. Unavailable while recording, converting or inserting.");
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
                          tr("Kivo 正在錄音、轉換或填入；請完成後再檢查更新。",
                             "Kivo is recording, converting or inserting. Check again when finished.")
                              .toStdString());
    }
}

bool UpdateController::shouldPostponeRelaunch(std::function<void()> installAndRelaunch)
{
    pendingUpdateInstall_ = std::move(installAndRelaunch);
    localizeUpdateControls();
    updateUpdateControls();
    QPointer<UpdateController> weak(this);
    QMetaObject::invokeMethod(
        this, [weak] {
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
        host_.setStatus(tr("目前工作完成後，請按「繼續安裝更新」。",
                           "When current work is done, click Continue Installing Update."));
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
    box->setText(tr("安裝更新會清除目前文字", "Installing the update will clear current text"));
    box->setInformativeText(tr("原文及結果只保留在記憶體。請先複製需要的內容；確認後 Kivo 會安裝更新並重新啟動。",
                               "Original and Result are kept only in memory. Copy anything you need first. "
                               "Continuing installs the update and relaunches Kivo."));
    QPushButton* installButton = box->addButton(tr("安裝並重新啟動", "Install and Relaunch"), QMessageBox::AcceptRole);
    box->addButton(tr("稍後", "Later"), QMessageBox::RejectRole);
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
        host_.setStatus(tr("目前沒有可安裝的更新。", "No installable updates are available."));
    } else {
        host_.setStatus(tr("更新未完成：", "Update did not complete: ") + QString::fromStdString(error.localizedDescription()));
    }
}

} // namespace kivo
