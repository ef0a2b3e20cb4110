// The right-Super tap while Kivo's own panel has the keyboard, with and without the
// accessibility trust, on the real X11 backend; keys come from XTest.
#include "app/controller/Application.h"
#include "app/controller/RecordingShortcut.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

// Xlib's macros break later headers: it comes last.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef Bool
#undef Status
#undef None

namespace kivo {
namespace {

using namespace std::chrono_literals;
using Status = SpeechSession::Status;

struct CountingRecorder : SpeechSession {
    CountingRecorder(Callbacks callbacks, CountingRecorder** self) : callbacks(std::move(callbacks)) { *self = this; }
    void start(const Settings&) override
    {
        ++starts;
        callbacks.onStatus(Status::recording);
    }
    void stop() override { ++stops; }
    void cancel() override {}
    Callbacks callbacks;
    int starts = 0;
    int stops = 0;
};

class PanelKeys : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        if (QGuiApplication::platformName() != QLatin1String("xcb") || (display = XOpenDisplay(nullptr)) == nullptr) {
            GTEST_SKIP() << "needs the X display of scripts/test-session.sh";
        }
        Application::Options options;
        options.resourcesDirectory = bundle.resources();
        options.lockPath = bundle.lockPath().string();
        options.makeRecorder = [this](SpeechSession::Callbacks callbacks) {
            return std::make_unique<CountingRecorder>(std::move(callbacks), &recorder);
        };
        const bool trusted = GetParam();
        options.isTrusted = [trusted] { return trusted; };
        app = std::make_unique<Application>(options);
        app->launch();
        ASSERT_TRUE(test::waitUntil([this] { return QApplication::activeWindow() == &app->panel().window(); }));
    }

    void TearDown() override
    {
        if (app) {
            app->shortcut().stop();
            app.reset();
        }
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    void tapRightSuper()
    {
        const KeyCode code = XKeysymToKeycode(display, XK_Super_R);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
    }

    test::TestBundle bundle;
    Display* display = nullptr;
    CountingRecorder* recorder = nullptr;
    std::unique_ptr<Application> app;
};

TEST_P(PanelKeys, RightSuperTapWorksWhileThePanelHasTheKeyboard)
{
    tapRightSuper();
    ASSERT_TRUE(test::waitUntil([this] { return recorder != nullptr && recorder->starts == 1; }, 20000ms));
    tapRightSuper();
    ASSERT_TRUE(test::waitUntil([this] { return recorder->stops == 1; }, 20000ms));
    test::spin(200ms);
    EXPECT_EQ(recorder->starts, 1) << "one tap, one action";
    EXPECT_EQ(recorder->stops, 1);
}

INSTANTIATE_TEST_SUITE_P(Trust, PanelKeys, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "trusted" : "untrusted"; });

} // namespace
} // namespace kivo
