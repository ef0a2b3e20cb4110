#pragma once

#include "platform/updates/UpdateService.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QAction;

class QPushButton;
class QWidget;

namespace kivo {

// The app's side of the update service: when checks and installs may happen, the controls'
// texts and states, the consent over unsaved text and the status-line reports.
class UpdateController : public QObject {
    Q_DECLARE_TR_FUNCTIONS(UpdateController)

public:
    static constexpr const char* refusalDomain = "local.kivo.update";

    // What the controller reads from and asks of the app.
    struct Host {
        std::function<bool()> canUseUpdater;
        std::function<QString()> sourceText;
        std::function<QString()> resultText;
        std::function<void(const QString&)> setStatus;
        std::function<void(bool)> setRestartInProgress;
        std::function<void()> updateControls;
        std::function<void()> savePreferences;
        QWidget* dialogParent = nullptr;
    };

    // "SUFeedURL" and "SUPublicEDKey" of the bundle's Info.json; none without both.
    static std::optional<UpdateService::Configuration> configurationFor(const std::filesystem::path& bundle);

    UpdateController(Host host, std::optional<UpdateService::Configuration> configuration, QAction* panelAction,
                     QAction* menuItem, QObject* parent = nullptr);
    ~UpdateController() override;

    bool updaterConfigured() const { return configuration_.has_value(); }
    bool installPending() const { return static_cast<bool>(pendingUpdateInstall_); }
    UpdateService* updater() const { return updater_.get(); }
    QMessageBox* consentDialog() const { return consentDialog_; }

    void startUpdateService();
    void updateUpdateControls();
    void localizeUpdateControls();
    // Titles and tooltip of the update controls for the given state, in the interface language.
    static void localize(QAction* panelAction, QAction* menuItem, bool installPending);
    void checkForUpdates();
    void continueUpdateInstallation();

    // The update service's decision points.
    void mayPerform() const;
    bool shouldPostponeRelaunch(std::function<void()> installAndRelaunch);
    void didAbort(const UpdateError& error);

private:
    void install();

    Host host_;
    std::optional<UpdateService::Configuration> configuration_;
    // The panel's button mirrors it; the menu item shows no tooltip.
    QPointer<QAction> button_;
    QPointer<QAction> menuItem_;
    std::unique_ptr<UpdateService> updater_;
    std::function<void()> pendingUpdateInstall_;
    QPointer<QMessageBox> consentDialog_;
};

} // namespace kivo
