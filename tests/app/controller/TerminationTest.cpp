// Quitting: a busy recording is cancelled first; the menu's fixed items.
#include "app/controller/MainMenu.h"
#include "app/controller/Recording.h"
#include "app/controller/UpdatesAndRestart.h"
#include "tests/app/controller/ControllerFixture.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class Termination : public test::ControllerFixture {
protected:
    void configure(Application::Options& options) override
    {
        options.quit = [this] { ++quits; };
    }

    // Starts a recording whose cancellation, like the real recorder's, reports back later.
    void record()
    {
        startRecording();
        recorder->cancelReportsAtOnce = false;
        ASSERT_TRUE(app->recording().busy());
    }

    int quits = 0;
};

TEST_F(Termination, IdleAppQuitsAtOnce)
{
    app->requestQuit();
    EXPECT_EQ(quits, 1);
}

TEST_F(Termination, BusyRecordingIsCancelledBeforeQuitting)
{
    record();
    app->requestQuit();
    EXPECT_EQ(recorder->cancels, 1);
    test::spin(50ms);
    EXPECT_EQ(quits, 0) << "waits for the recorder";
    recorder->endWithoutText();
    EXPECT_TRUE(test::waitUntil([this] { return quits == 1; }, 20000ms));
}

// Restart quits the ordinary way: a recording is cancelled first, and the app ends only after.
TEST_F(Termination, RestartCancelsARecordingBeforeQuitting)
{
    const auto helper = bundle.resources() / "kivo-relaunch";
    std::ofstream(helper) << "#!/bin/sh\nexit 0\n";
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    record();
    emit panel().restartClicked();
    EXPECT_TRUE(app->updates().restarting());
    EXPECT_EQ(recorder->cancels, 1);
    test::spin(50ms);
    EXPECT_EQ(quits, 0) << "waits for the recorder";
    recorder->endWithoutText();
    EXPECT_TRUE(test::waitUntil([this] { return quits == 1; }, 20000ms));
}

TEST_F(Termination, MenuHasItsFixedItemsAndItsService)
{
    QStringList titles;
    for (QAction* action : app->menu().menu()->actions()) {
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

    // The service converts the selection elsewhere; without one it says so in the status line.
    for (QAction* item : app->menu().menu()->actions().front()->menu()->actions()) {
        if (item->menu() != nullptr) {
            item->menu()->actions().front()->trigger();
        }
    }
    EXPECT_EQ(status(), QStringLiteral("沒有收到選取文字。"));
}

} // namespace
} // namespace kivo
