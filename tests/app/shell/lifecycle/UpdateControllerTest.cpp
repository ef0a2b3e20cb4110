#include "app/shell/lifecycle/UpdateController.h"
#include "app/lifecycle/UpdatePolicy.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/platform/updates/UpdateFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kivo {
namespace {

class UpdateControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureApplication(); }

    void SetUp() override
    {
        UpdateController::Host host;
        host.canUseUpdater = [this] { return !busy; };
        host.sourceText = [this] { return source; };
        host.resultText = [] { return QString(); };
        host.setStatus = [this](const QString& text) { status = text; };
        host.setRestartInProgress = [this](bool value) { restarting = value; };
        host.updateControls = [] {};
        host.savePreferences = [this] { ++saves; };
        auto configuration = fixture.configuration();
        configuration.relaunch = [this](const std::filesystem::path&) { ++relaunches; };
        controller = std::make_unique<UpdateController>(host, configuration, &button, &menuItem);
        controller->localizeUpdateControls();
        controller->startUpdateService();
    }

    QMessageBox* waitForDialog()
    {
        test::waitUntil([&] { return controller->consentDialog() && controller->consentDialog()->isVisible(); });
        return controller->consentDialog();
    }

    static void answer(QMessageBox* box, const QString& title)
    {
        for (QAbstractButton* choice : box->buttons()) {
            if (choice->text() == title) {
                choice->click();
                return;
            }
        }
        FAIL() << "no button " << title.toStdString();
    }

    test::UpdateFixture fixture;
    QAction button;
    QAction menuItem;
    std::unique_ptr<UpdateController> controller;
    bool busy = false;
    bool restarting = false;
    QString source;
    QString status;
    int saves = 0;
    int relaunches = 0;
};

TEST_F(UpdateControllerTest, BusyAppRefusesChecksWithItsOwnError)
{
    busy = true;
    controller->updateUpdateControls();
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(menuItem.isEnabled());
    try {
        controller->mayPerform();
        FAIL() << "a busy app must refuse";
    } catch (const UpdateError& error) {
        EXPECT_EQ(error.domain(), "local.kivo.update");
        EXPECT_EQ(error.code(), 1);
        EXPECT_STREQ(error.what(), "Kivo is recording, converting or inserting. Check again when finished.");
    }
    busy = false;
    controller->updateUpdateControls();
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(button.text(), "Check for Updates…");
}

TEST_F(UpdateControllerTest, NoUpdateIsReported)
{
    fixture.publish("0.1.0");
    controller->checkForUpdates();
    EXPECT_TRUE(test::waitUntil([&] { return !status.isEmpty(); }));
    EXPECT_EQ(status, "No installable updates are available.");
    EXPECT_TRUE(test::waitUntil([&] { return button.isEnabled(); }));
}

TEST_F(UpdateControllerTest, UpdateReadyWhileBusyIsPostponedThenContinued)
{
    fixture.publish("0.2.0");
    controller->checkForUpdates();
    busy = true; // a conversion starts while the update downloads
    EXPECT_TRUE(test::waitUntil([&] { return controller->installPending() && !status.isEmpty(); }));
    EXPECT_EQ(status, "When current work is done, click Continue Installing Update.");
    EXPECT_EQ(button.text(), "Continue Installing Update…");
    EXPECT_EQ(menuItem.text(), "Continue Installing Update…");
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");

    busy = false;
    controller->updateUpdateControls();
    ASSERT_TRUE(button.isEnabled());
    controller->checkForUpdates(); // the button's action
    EXPECT_TRUE(test::waitUntil([&] { return relaunches == 1; }));
    EXPECT_TRUE(restarting);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(fixture.installedVersion(), "0.2.0");
}

TEST_F(UpdateControllerTest, ConsentDialogAnsweredLaterKeepsTheInstallPending)
{
    source = QStringLiteral("未複製的原文");
    fixture.publish("0.2.0");
    controller->checkForUpdates();
    QMessageBox* box = waitForDialog();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Installing the update will clear current text");
    answer(box, "Later");
    test::spin(std::chrono::milliseconds(100));
    EXPECT_TRUE(controller->installPending());
    EXPECT_FALSE(restarting);
    EXPECT_EQ(fixture.installedVersion(), "0.1.0");

    controller->checkForUpdates();
    box = waitForDialog();
    ASSERT_TRUE(box);
    answer(box, "Install and Relaunch");
    EXPECT_TRUE(test::waitUntil([&] { return relaunches == 1; }));
    EXPECT_EQ(fixture.installedVersion(), "0.2.0");
}

TEST(UpdateConfiguration, BothKeysAreNeededAndThePolicyReadsEveryBusyState)
{
    test::ensureApplication();
    test::UpdateFixture fixture;
    EXPECT_FALSE(UpdateController::configurationFor(fixture.installed));
    std::ofstream(fixture.installed / "Info.json")
        << R"({"CFBundleIdentifier":"local.kivo.afm-trial","SUFeedURL":"http://127.0.0.1/a","SUPublicEDKey":"k"})";
    const auto configuration = UpdateController::configurationFor(fixture.installed);
    ASSERT_TRUE(configuration);
    EXPECT_EQ(configuration->feedUrl, "http://127.0.0.1/a");

    QAction button;
    UpdateController::Host host;
    host.canUseUpdater = [] { return true; };
    UpdateController unconfigured(host, std::nullopt, &button, nullptr);
    unconfigured.startUpdateService();
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(unconfigured.updater());

    EXPECT_TRUE(UpdatePolicy::canCheck(false, false, false, false));
    EXPECT_FALSE(UpdatePolicy::canCheck(true, false, false, false));
    EXPECT_FALSE(UpdatePolicy::canCheck(false, true, false, false));
    EXPECT_FALSE(UpdatePolicy::canCheck(false, false, true, false));
    EXPECT_FALSE(UpdatePolicy::canCheck(false, false, false, true));
    EXPECT_FALSE(UpdatePolicy::needsContentConfirmation({}, {}));
    EXPECT_TRUE(UpdatePolicy::needsContentConfirmation({}, QStringLiteral("結果")));
}

} // namespace
} // namespace kivo
