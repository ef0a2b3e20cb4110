// The real X11 backend on the test session's Xvfb display, driven by XTest key injection.
// Xlib defines macros (None, Bool) that break later headers: it comes last.
#include "app/shell/shortcut/GlobalShortcut.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "platform/hotkeys/X11ShortcutBackend.h"
#include "tests/support/CoreApplication.h"

#include <QTest>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace kivo;
using State = GlobalShortcut::State;

namespace {

// A second X client: injects keys and competes for grabs.
class OtherClient {
public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient()
    {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
    }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    Display* display() const { return display_; }

    void key(KeySym keysym, bool down)
    {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    void tap(KeySym keysym)
    {
        key(keysym, true);
        key(keysym, false);
    }
    // Returns the X error of grabbing Control+Alt+Space (Mod1 is Alt here), 0 on success.
    int grabControlAltSpace()
    {
        static int error;
        error = 0;
        XSync(display_, False);
        auto* previous = XSetErrorHandler([](Display*, XErrorEvent* event) {
            error = event->error_code;
            return 0;
        });
        XGrabKey(display_, XKeysymToKeycode(display_, XK_space), ControlMask | Mod1Mask, DefaultRootWindow(display_),
                 False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        XSetErrorHandler(previous);
        return error;
    }

private:
    Display* display_;
};

class X11Shortcut : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureCoreApplication(); }
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || other.display() == nullptr) {
            GTEST_SKIP() << "needs an X display (run inside scripts/test-session.sh)";
        }
    }

    // Lets the backend read what the server sent, then gives stragglers a moment.
    void settle() { QTest::qWait(150); }

    OtherClient other;
    int fired = 0;
};

} // namespace

TEST_F(X11Shortcut, RightSuperTapsTriggerExactlyOnceEach)
{
    GlobalShortcut shortcut(
        std::make_unique<X11ShortcutBackend>(), [] { return true; }, [this] { ++fired; });
    ASSERT_EQ(shortcut.configure(PanelShortcut::rightCommand), State::ready());
    settle();

    other.tap(XK_Super_R);
    EXPECT_TRUE(QTest::qWaitFor([this] { return fired == 1; }, 2000));
    other.tap(XK_Super_R);
    EXPECT_TRUE(QTest::qWaitFor([this] { return fired == 2; }, 2000));

    // Shift in between, a letter in between, left Super already held.
    other.key(XK_Super_R, true);
    other.tap(XK_Shift_L);
    other.key(XK_Super_R, false);
    other.key(XK_Super_R, true);
    other.tap(XK_a);
    other.key(XK_Super_R, false);
    other.key(XK_Super_L, true);
    other.tap(XK_Super_R);
    other.key(XK_Super_L, false);
    settle();
    EXPECT_EQ(fired, 2);

    EXPECT_EQ(shortcut.configure(PanelShortcut::disabled), State::disabled());
    other.tap(XK_Super_R);
    settle();
    EXPECT_EQ(fired, 2) << "no monitor after disabling";
}

TEST_F(X11Shortcut, CombinationsAreExclusiveAndReleasedWhenDisabled)
{
    GlobalShortcut shortcut(
        std::make_unique<X11ShortcutBackend>(), [] { return true; }, [this] { ++fired; });
    ASSERT_EQ(shortcut.configure(PanelShortcut::controlOptionSpace), State::ready());
    settle();
    other.key(XK_Control_L, true);
    other.key(XK_Alt_L, true);
    other.tap(XK_space);
    other.key(XK_Alt_L, false);
    other.key(XK_Control_L, false);
    EXPECT_TRUE(QTest::qWaitFor([this] { return fired == 1; }, 2000));

    EXPECT_EQ(other.grabControlAltSpace(), BadAccess) << "our grab is exclusive";

    EXPECT_EQ(shortcut.configure(PanelShortcut::disabled), State::disabled());
    EXPECT_EQ(other.grabControlAltSpace(), 0) << "disabling released every variant";

    // Now the other client holds it: our registration fails with the X error number.
    EXPECT_EQ(shortcut.configure(PanelShortcut::controlOptionSpace), State::failed(BadAccess));
}

TEST_F(X11Shortcut, TrustFollowsTheAccessibilityBus)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "needs the test session's bus";
    }
    // Other desktop tests rely on the bus as they found it.
    struct Restore {
        bool enabled = AccessibilityBus::isEnabled();
        ~Restore() { AccessibilityBus::setEnabled(enabled); }
    } restore;
    ASSERT_TRUE(AccessibilityBus::setEnabled(false));
    EXPECT_FALSE(AccessibilityBus::isEnabled());

    GlobalShortcut shortcut(std::make_unique<X11ShortcutBackend>(), &AccessibilityBus::isEnabled, [this] { ++fired; });
    EXPECT_EQ(shortcut.configure(PanelShortcut::rightCommand), State::permissionRequired());
    other.tap(XK_Super_R);
    settle();
    EXPECT_EQ(fired, 0) << "no global monitor without trust";

    ASSERT_TRUE(AccessibilityBus::setEnabled(true));
    EXPECT_EQ(shortcut.refreshPermission(), State::ready());
    settle();
    other.tap(XK_Super_R);
    EXPECT_TRUE(QTest::qWaitFor([this] { return fired == 1; }, 2000));
}
