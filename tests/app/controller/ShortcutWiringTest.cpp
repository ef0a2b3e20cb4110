// The controller's shortcut controls over a recording backend: states, labels, the poll.
#include "app/controller/RecordingShortcut.h"
#include "tests/app/controller/ControllerFixture.h"
#include "tests/app/shell/PanelWidgets.h"
#include "tests/app/shell/shortcut/RecordingShortcutBackend.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using State = GlobalShortcut::State;

class ShortcutWiring : public test::ControllerFixture {
protected:
    void configure(Application::Options& options) override
    {
        options.makeShortcutBackend = [this] { return std::make_unique<test::RecordingShortcutBackend>(log); };
        options.isTrusted = [this] { return trusted; };
        options.requestTrust = [this] {
            trusted = true;
            return true;
        };
        options.permissionPollInterval = 20ms;
    }
    void SetUp() override
    {
        ControllerFixture::SetUp();
        change([](PanelSettings& settings) { settings.autoInsert = false; });
    }
    void TearDown() override { app->shortcut().stop(); }

    void choose(int shortcut)
    {
        change([shortcut](PanelSettings& settings) { settings.shortcutIndex = shortcut; });
    }
    // The settings' explanation under the shortcut and its permission button.
    bool permissionButtonShown() { return !test::PanelWidgets(panel()).shortcutPermission->isHidden(); }
    QString info() { return test::PanelWidgets(panel()).shortcutInfo->text(); }

    std::shared_ptr<test::RecordingShortcutBackend::Log> log = std::make_shared<test::RecordingShortcutBackend::Log>();
    bool trusted = false;
};

TEST_F(ShortcutWiring, TrustGrantedWhileRunningIsPickedUpByThePoll)
{
    choose(0);
    app->shortcut().start();
    EXPECT_EQ(app->shortcut().state(), State::permissionRequired());
    EXPECT_TRUE(permissionButtonShown());
    EXPECT_TRUE(info().startsWith(
        "The global Right Super tap and automatic insertion need the desktop's accessibility setting."));

    trusted = true;
    ASSERT_TRUE(test::waitUntil([this] { return app->shortcut().state() == State::ready(); }, 20000ms));
    EXPECT_FALSE(permissionButtonShown());
    EXPECT_EQ(info(), "Press to start, press again to stop. Processes in the background without switching apps.");

    // Automatic insertion needs the same trust.
    trusted = false;
    change([](PanelSettings& settings) { settings.autoInsert = true; });
    ASSERT_TRUE(test::waitUntil([this] { return app->shortcut().state() == State::permissionRequired(); }, 20000ms));
    emit panel().shortcutPermissionClicked();
    EXPECT_TRUE(trusted);
    EXPECT_EQ(app->shortcut().state(), State::ready());
    EXPECT_FALSE(permissionButtonShown());
}

// Without the poll, coming back to Kivo (from the desktop's settings, say) picks trust up.
class ShortcutOnActivation : public ShortcutWiring {
protected:
    void configure(Application::Options& options) override
    {
        ShortcutWiring::configure(options);
        options.permissionPollInterval = 1h;
    }
};

TEST_F(ShortcutOnActivation, BecomingTheActiveApplicationRefreshesTheShortcut)
{
    choose(0);
    app->shortcut().start();
    trusted = true;
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(app->shortcut().state(), State::permissionRequired());
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(app->shortcut().state(), State::ready());
}

TEST_F(ShortcutWiring, FailedAndDisabledStatesExplainThemselves)
{
    trusted = true;
    app->shortcut().start();
    log->registrationStatus = 10;
    choose(1);
    EXPECT_EQ(app->shortcut().state(), State::failed(10));
    EXPECT_EQ(info(), "Shortcut unavailable (10). Choose another combination.");

    change([](PanelSettings& settings) { settings.chinese = true; });
    EXPECT_EQ(info(), "快捷鍵註冊失敗（10），請改選另一組。");
    change([](PanelSettings& settings) { settings.chinese = false; });

    choose(3);
    EXPECT_EQ(app->shortcut().state(), State::disabled());
    EXPECT_FALSE(log->local);
    EXPECT_EQ(info(), "Shortcut disabled. You can still use the microphone button.");
}

TEST_F(ShortcutWiring, TriggersHandRecordingToTheController)
{
    trusted = true;
    log->registrationStatus = 0;
    choose(2);
    app->shortcut().start();
    ASSERT_TRUE(log->pressed);
    log->pressed();
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->starts, 1);

    app->shortcut().stop();
    EXPECT_FALSE(log->pressed) << "terminating releases the registration";
}

} // namespace
} // namespace kivo
