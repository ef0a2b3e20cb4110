// Quitting: a busy recording is cancelled first; the menu's fixed items.
#include "app/controller/TrialApp.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kivo {
namespace {

using namespace std::chrono_literals;
using Status = SpeechSession::Status;

struct Recorder : SpeechSession {
    explicit Recorder(Callbacks callbacks, Recorder** self) : callbacks(std::move(callbacks)) { *self = this; }
    void start(const Settings&) override { callbacks.onStatus(Status::requestingPermission); }
    void stop() override {}
    // Cancellation reports back later, as the real recorder does.
    void cancel() override { ++cancels; }
    Callbacks callbacks;
    int cancels = 0;
};

class Termination : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        TrialApp::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.makeRecorder = [this](SpeechSession::Callbacks callbacks) {
            return std::make_unique<Recorder>(std::move(callbacks), &recorder);
        };
        options.quit = [this] { ++quits; };
        app = std::make_unique<TrialApp>(options);
        app->localize();
    }

    test::TestBundle bundle;
    Recorder* recorder = nullptr;
    int quits = 0;
    std::unique_ptr<TrialApp> app;
};

TEST_F(Termination, IdleAppQuitsAtOnce)
{
    EXPECT_EQ(app->applicationShouldTerminate(), TrialApp::TerminateReply::now);
    app->requestQuit();
    EXPECT_EQ(quits, 1);
}

TEST_F(Termination, BusyRecordingIsCancelledBeforeQuitting)
{
    app->recordPressed();
    ASSERT_NE(recorder, nullptr);
    recorder->callbacks.onStatus(Status::recording);
    ASSERT_TRUE(app->speechBusy());

    app->requestQuit();
    EXPECT_EQ(recorder->cancels, 1);
    test::spin(50ms);
    EXPECT_EQ(quits, 0) << "waits for the recorder";

    recorder->callbacks.onStatus(Status::idle);
    recorder->callbacks.onCompletion(std::nullopt);
    EXPECT_TRUE(test::waitUntil([this] { return quits == 1; }, 20000ms));
}

// Restart quits the ordinary way: a recording is cancelled first, and the app ends only after.
TEST_F(Termination, RestartCancelsARecordingBeforeQuitting)
{
    const auto helper = bundle.resources() / "kivo-relaunch";
    std::ofstream(helper) << "#!/bin/sh\nexit 0\n";
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    app->recordPressed();
    ASSERT_NE(recorder, nullptr);
    recorder->callbacks.onStatus(Status::recording);

    app->restartApp();
    EXPECT_TRUE(app->restartInProgress());
    EXPECT_EQ(recorder->cancels, 1);
    test::spin(50ms);
    EXPECT_EQ(quits, 0) << "waits for the recorder";
    recorder->callbacks.onStatus(Status::idle);
    recorder->callbacks.onCompletion(std::nullopt);
    EXPECT_TRUE(test::waitUntil([this] { return quits == 1; }, 20000ms));
}

TEST_F(Termination, MenuHasItsFixedItems)
{
    app->buildMainMenu();
    QStringList titles;
    for (QAction* action : app->mainMenu()->actions()) {
        titles << action->text();
        if (action->menu() != nullptr) {
            for (QAction* item : action->menu()->actions()) {
                if (!item->isSeparator()) {
                    titles << item->text();
                }
            }
        }
    }
    EXPECT_EQ(titles, (QStringList{"Kivo", "檢查更新…", "服務", "結束 Kivo", "編輯", "剪下", "複製", "貼上", "全選"}));
}

} // namespace
} // namespace kivo
