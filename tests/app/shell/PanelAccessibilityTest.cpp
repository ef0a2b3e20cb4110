// The real Kivo, read through the accessibility bus as a screen reader reads it and driven by
// XTest keys: every control is reachable by keyboard and named by its label.
#include "app/lifecycle/SingleInstance.h"
#include "platform/accessibility/AccessibleElement.h"
#include "tests/app/controller/ControllerTestSupport.h"

#include <atspi/atspi.h>

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <set>

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

struct Control {
    std::string name;
    AtspiRole role;
    bool showing;
    bool focused;
    bool checked;
};

std::string nameOf(AtspiAccessible* element)
{
    gchar* name = atspi_accessible_get_name(element, nullptr);
    std::string result = name ? name : "";
    g_free(name);
    return result;
}

class PanelAccessibility : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApplication();
        if (QGuiApplication::platformName() != QLatin1String("xcb") || (display = XOpenDisplay(nullptr)) == nullptr ||
            !QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "needs the display and buses of scripts/test-session.sh";
        }
        ASSERT_FALSE(SingleInstance::running(QDBusConnection::sessionBus())) << "another Kivo is running";
    }

    void TearDown() override
    {
        if (kivo.state() != QProcess::NotRunning) {
            kivo.terminate();
            if (!kivo.waitForFinished(5000)) {
                kivo.kill();
                kivo.waitForFinished();
            }
        }
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    void start(const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        kivo.setProcessEnvironment(environment);
        kivo.start(QStringLiteral(KIVO_APP), arguments);
        ASSERT_TRUE(kivo.waitForStarted());
        ASSERT_TRUE(test::waitUntil([this] { return application() || kivo.state() == QProcess::NotRunning; }, 20000ms));
        ASSERT_TRUE(application()) << kivo.readAllStandardError().toStdString();
        // The panel is laid out and has the keyboard.
        ASSERT_TRUE(test::waitUntil([this] { return find("Start recording").has_value(); }, 10000ms));
    }

    AccessibleElement application()
    {
        AccessibleElement desktop(atspi_get_desktop(0));
        for (int i = 0; i < atspi_accessible_get_child_count(desktop.get(), nullptr); ++i) {
            AccessibleElement app(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
            if (app && atspi_accessible_get_process_id(app.get(), nullptr) == static_cast<guint>(kivo.processId())) {
                return app;
            }
        }
        return {};
    }

    // Calls `visit` on each element of Kivo's windows until it returns true; whether one did.
    bool walk(const std::function<bool(AtspiAccessible*)>& visit)
    {
        std::vector<AccessibleElement> pending{application()};
        while (!pending.empty()) {
            AccessibleElement element = std::move(pending.back());
            pending.pop_back();
            if (!element) {
                continue;
            }
            if (visit(element.get())) {
                return true;
            }
            const int count = atspi_accessible_get_child_count(element.get(), nullptr);
            for (int i = 0; i < count && i < 200; ++i) {
                pending.emplace_back(atspi_accessible_get_child_at_index(element.get(), i, nullptr));
            }
        }
        return false;
    }

    // Every named element of Kivo's windows.
    std::vector<Control> controls()
    {
        std::vector<Control> found;
        walk([&](AtspiAccessible* element) {
            AtspiStateSet* states = atspi_accessible_get_state_set(element);
            found.push_back({nameOf(element), atspi_accessible_get_role(element, nullptr),
                             states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING),
                             states && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED),
                             states && atspi_state_set_contains(states, ATSPI_STATE_CHECKED)});
            if (states) {
                g_object_unref(states);
            }
            return false;
        });
        return found;
    }

    std::optional<Control> find(const std::string& name, bool showingOnly = true)
    {
        for (const Control& control : controls()) {
            if (control.name == name && control.role != ATSPI_ROLE_LABEL && (!showingOnly || control.showing)) {
                return control;
            }
        }
        return std::nullopt;
    }

    // Each of these is on the bus, showing, in this role.
    void expectRoles(std::initializer_list<const char*> names, AtspiRole role)
    {
        for (const char* name : names) {
            const auto control = find(name);
            ASSERT_TRUE(control) << name;
            EXPECT_EQ(control->role, role) << name;
        }
    }

    std::string focused()
    {
        for (const Control& control : controls()) {
            if (control.focused) {
                return control.name;
            }
        }
        return {};
    }

    void press(KeySym keysym)
    {
        const KeyCode code = XKeysymToKeycode(display, keysym);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
        test::spin(150ms);
    }

    // Presses Tab until `name` has the keyboard; false when a whole round never reached it.
    bool tabTo(const std::string& name)
    {
        for (int i = 0; i < 30; ++i) {
            if (focused() == name) {
                return true;
            }
            press(XK_Tab);
        }
        return focused() == name;
    }

    QTemporaryDir home;
    QProcess kivo;
    Display* display = nullptr;
};

TEST_F(PanelAccessibility, EveryControlIsNamedAndReachableByKeyboard)
{
    start();
    // Pop-ups are announced by their titles, buttons by their labels.
    expectRoles({"Speech input", "Text output"}, ATSPI_ROLE_COMBO_BOX);
    expectRoles({"Start recording", "Settings", "Close", "Expand text", "Copy result"}, ATSPI_ROLE_PUSH_BUTTON);

    // Tab reaches the round buttons and the pop-ups.
    for (const char* name : {"Start recording", "Text output", "Expand text", "Settings", "Close"}) {
        EXPECT_TRUE(tabTo(name)) << name << " never had the keyboard; last: " << focused();
    }

    // The editor opens from the keyboard, and its text areas let Tab go on.
    ASSERT_TRUE(tabTo("Expand text"));
    press(XK_space);
    ASSERT_TRUE(test::waitUntil([this] { return find("Original").has_value(); }, 20000ms));
    ASSERT_TRUE(tabTo("Original"));
    press(XK_Tab);
    EXPECT_NE(focused(), "Original") << "Tab must leave the text area";
    EXPECT_TRUE(tabTo("Convert manually"));

    // The settings open from the keyboard with the keyboard inside, and every control there
    // is on the bus under its label.
    ASSERT_TRUE(tabTo("Settings"));
    press(XK_space);
    ASSERT_TRUE(test::waitUntil([this] { return find("Interface language").has_value(); }, 20000ms));
    expectRoles({"Interface language", "Recognition engine", "Recording shortcut"}, ATSPI_ROLE_COMBO_BOX);
    expectRoles({"Process after recording", "Insert into the current input after processing"}, ATSPI_ROLE_CHECK_BOX);
    EXPECT_TRUE(find("Restart Kivo"));
    EXPECT_EQ(focused(), "Interface language");
    ASSERT_TRUE(tabTo("Process after recording"));
    ASSERT_TRUE(find("Process after recording")->checked);
    press(XK_space); // operable: the check box turns off
    EXPECT_TRUE(test::waitUntil([this] { return !find("Process after recording")->checked; }, 20000ms));
    press(XK_Escape);
    EXPECT_TRUE(test::waitUntil([this] { return !find("Interface language").has_value(); }, 20000ms));
    EXPECT_EQ(focused(), "Settings");
}

// With no Kivo running, the selection command starts one with the selected text.
TEST_F(PanelAccessibility, ConvertSelectionStartsKivoWithTheText)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("選取咗嘅文字"), QClipboard::Selection);
    start({QStringLiteral("--convert-selection")});
    ASSERT_TRUE(test::waitUntil([this] { return find("Original").has_value(); }, 20000ms));
    std::string text;
    const auto original = [&](AtspiAccessible* element) {
        if (nameOf(element) != "Original" || atspi_accessible_get_role(element, nullptr) == ATSPI_ROLE_LABEL) {
            return false;
        }
        if (AtspiText* field = atspi_accessible_get_text_iface(element)) {
            gchar* content = atspi_text_get_text(field, 0, -1, nullptr);
            text = content ? content : "";
            g_free(content);
            g_object_unref(field);
        }
        return true;
    };
    ASSERT_TRUE(test::waitUntil([&] { return walk(original) && text == "選取咗嘅文字"; }, 5000ms)) << text;
    EXPECT_TRUE(SingleInstance::running(QDBusConnection::sessionBus()));
}

} // namespace
} // namespace kivo
