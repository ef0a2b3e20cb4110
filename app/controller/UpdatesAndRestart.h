#pragma once

#include <QObject>

#include <filesystem>
#include <memory>

class QAction;

namespace kivo {

class SessionHost;
class UpdateController;

// The update service's controls in the panel and the menu, and the Restart button: a restart
// quits the ordinary way once a helper waits to open the app again.
class UpdatesAndRestart : public QObject {
public:
    UpdatesAndRestart(SessionHost& host, std::filesystem::path resourcesDirectory);
    ~UpdatesAndRestart() override;

    // Starts the update service with the menu's item as its second control.
    void start(QAction* menuItem);
    void updateControls();
    void localize();
    void checkForUpdates();
    void continueInstallation();
    void restart();
    bool restarting() const { return restarting_; }
    bool configured() const;
    UpdateController* controller() const { return controller_.get(); }

private:
    bool canUseUpdater() const;

    SessionHost& host_;
    std::filesystem::path resourcesDirectory_;
    QAction* menuItem_ = nullptr;
    std::unique_ptr<UpdateController> controller_;
    bool restarting_ = false;
};

} // namespace kivo
