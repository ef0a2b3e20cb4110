// The controller's shortcut controls over a recording backend: states, labels, the poll.
#include "app/controller/TrialApp.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using State = GlobalShortcut::State;

struct Backend : ShortcutBackend {
    struct Log {
        EventHandler local;
        EventHandler global;
        std::function<void()> pressed;
        std::int32_t registrationStatus = 0;
    };
    explicit Backend(std::shared_ptr<Log> log) : log(std::move(log)) {}
    void installLocalMonitor(EventHandler handler) override { log->local = std::move(handler); }
    bool installGlobalMonitor(EventHandler handler) override
    {
        log->global = std::move(handler);
        return true;
    }
    void removeMonitors() override
    {
        log->local = nullptr;
        log->global = nullptr;
    }
    std::int32_t registerHotKey(HotKeyCombination, std::function<void()> pressed) override
    {
        if (log->registrationStatus == 0) {
            log->pressed = std::move(pressed);
        }
        return log->registrationStatus;
    }
    void unregisterHotKey() override { log->pressed = nullptr; }
    std::shared_ptr<Log> log;
};

struct Recorder : SpeechSession {
    explicit Recorder(int* starts) : starts(starts) {}
    void start(const Settings&) override { ++*starts; }
    void stop() override {}
    void cancel() override {}
    int* starts;
};

class ShortcutWiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        TrialApp::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.makeShortcutBackend = [this] { return std::make_unique<Backend>(log); };
        options.isTrusted = [this] { return trusted; };
        options.requestTrust = [this] {
            trusted = true;
            return true;
        };
        options.permissionPollInterval = 20ms;
        options.makeRecorder = [this](SpeechSession::Callbacks) { return std::make_unique<Recorder>(&starts); };
        app = std::make_unique<TrialApp>(options);
        app->localize();
        panel().language->setCurrentIndex(0);
        panel().autoInsert->setChecked(false);
    }
    void TearDown() override { app->stopShortcutMonitoring(); }

    FloatingPanel& panel() { return app->panel(); }
    bool permissionButtonShown() { return !panel().shortcutPermission->isHidden(); }
    QString info() { return panel().shortcutInfo->text(); }

    test::TestBundle bundle;
    std::shared_ptr<Backend::Log> log = std::make_shared<Backend::Log>();
    bool trusted = false;
    int starts = 0;
    std::unique_ptr<TrialApp> app;
};

TEST_F(ShortcutWiring, TrustGrantedWhileRunningIsPickedUpByThePoll)
{
    panel().shortcutChoice->setCurrentIndex(0);
    app->startShortcutMonitoring();
    EXPECT_EQ(app->shortcutState(), State::permissionRequired());
    EXPECT_TRUE(permissionButtonShown());
    EXPECT_TRUE(info().startsWith("The global Right Super tap and automatic insertion need the desktop's accessibility setting."));

    trusted = true;
    ASSERT_TRUE(test::waitUntil([this] { return app->shortcutState() == State::ready(); }, 20000ms));
    EXPECT_FALSE(permissionButtonShown());
    EXPECT_EQ(info(), "Press to start, press again to stop. Processes in the background without switching apps.");

    // Automatic insertion needs the same trust.
    trusted = false;
    panel().autoInsert->setChecked(true);
    ASSERT_TRUE(test::waitUntil([this] { return app->shortcutState() == State::permissionRequired(); }, 20000ms));
    panel().shortcutPermission->click();
    EXPECT_TRUE(trusted);
    EXPECT_EQ(app->shortcutState(), State::ready());
    EXPECT_FALSE(permissionButtonShown());
}

TEST_F(ShortcutWiring, FailedAndDisabledStatesExplainThemselves)
{
    trusted = true;
    app->startShortcutMonitoring();
    log->registrationStatus = 10;
    panel().shortcutChoice->setCurrentIndex(1);
    EXPECT_EQ(app->shortcutState(), State::failed(10));
    EXPECT_EQ(info(), "Shortcut unavailable (10). Choose another combination.");

    panel().language->setCurrentIndex(1);
    EXPECT_EQ(info(), "快捷鍵註冊失敗（10），請改選另一組。");
    panel().language->setCurrentIndex(0);

    panel().shortcutChoice->setCurrentIndex(3);
    EXPECT_EQ(app->shortcutState(), State::disabled());
    EXPECT_FALSE(log->local);
    EXPECT_EQ(info(), "Shortcut disabled. You can still use the microphone button.");
}

TEST_F(ShortcutWiring, TriggersHandRecordingToTheController)
{
    trusted = true;
    log->registrationStatus = 0;
    panel().shortcutChoice->setCurrentIndex(2);
    app->startShortcutMonitoring();
    ASSERT_TRUE(log->pressed);
    log->pressed();
    EXPECT_EQ(starts, 1);

    app->stopShortcutMonitoring();
    EXPECT_FALSE(log->pressed) << "terminating releases the registration";
}

} // namespace
} // namespace kivo
