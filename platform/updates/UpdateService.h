#pragma once

#include "platform/updates/UpdateError.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace kivo {

// Checks the feed, downloads and verifies the newest archive, unpacks it into a staging
// folder and, when its delegate lets it, swaps it in for the running bundle and relaunches.
// Network and disk work run on a worker thread; the delegate is called on the main thread.
class UpdateService : public QObject {
public:
    struct Configuration {
        std::string feedUrl;
        std::string publicKey; // base64 Ed25519
        std::string currentVersion;
        std::string identifier; // the bundle identifier an update must carry
        std::filesystem::path bundle;
        // Starts the installed bundle after this process has quit.
        std::function<void(const std::filesystem::path& bundle)> relaunch;
    };

    // The three decision points.
    struct Delegate {
        // Throws UpdateError to refuse a check; the check then aborts with that error.
        std::function<void()> mayPerform;
        // An update is ready; true keeps it until the continuation is invoked.
        std::function<bool(std::function<void()> installAndRelaunch)> shouldPostponeRelaunch;
        std::function<void(const UpdateError& error)> didAbort;
    };

    UpdateService(Configuration configuration, Delegate delegate, QObject* parent = nullptr);
    ~UpdateService() override;

    void startUpdater();
    bool canCheckForUpdates() const { return canCheck_; }
    // Called on every change of canCheckForUpdates, and once at once with its value.
    void observeCanCheckForUpdates(std::function<void(bool)> observer);
    void checkForUpdates();

private:
    struct Prepared {
        std::filesystem::path staging;
        std::filesystem::path bundle;
    };

    void setCanCheck(bool value);
    void prepared(Prepared update);
    void failed(const UpdateError& error);
    void install();

    Configuration configuration_;
    Delegate delegate_;
    std::function<void(bool)> observer_;
    bool started_ = false;
    bool canCheck_ = false;
    std::optional<Prepared> prepared_;
    std::jthread worker_;
};

} // namespace kivo
