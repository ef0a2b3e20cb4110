#include "tests/platform/accessibility/DesktopSession.h"

#include "app/delivery/FocusedInputWriter.h"
#include "platform/accessibility/AccessibilityThread.h"
#include "platform/accessibility/GuiEventLoop.h"
#include "platform/accessibilitybus/AccessibilityBus.h"

#include <atspi/atspi.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QScopeGuard>

#include <QProcess>
#include <QThread>
#include <map>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kivo::test {

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { application.reset(); }
    std::unique_ptr<QApplication> application;
};

} // namespace

void ensureDesktop()
{
    static int argc = 1;
    static char name[] = "kivo-desktop-tests";
    static char* argv[] = {name, nullptr};
    static ApplicationEnvironment* environment = nullptr;
    if (!environment) {
        AccessibilityBus::setEnabled(true);
        environment = static_cast<ApplicationEnvironment*>(
            ::testing::AddGlobalTestEnvironment(std::make_unique<ApplicationEnvironment>().release()));
        environment->application = kivo::GuiEventLoop::create<QApplication>(argc, argv);
    }
}

std::unique_ptr<TargetAppClient> startTarget(const QString& program)
{
    ensureDesktop();
    // A target of an earlier test can stay registered on the bus for a moment after its
    // process ended; with two targets about, the frontmost one is ambiguous.
    waitUntil(
        [] {
            return AccessibilityThread::call([] {
                       AtspiAccessible* desktop = atspi_get_desktop(0);
                       int others = 0;
                       for (int i = 0; i < atspi_accessible_get_child_count(desktop, nullptr); ++i) {
                           AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
                           if (application != nullptr) {
                               if (atspi_accessible_get_process_id(application, nullptr) !=
                                   static_cast<guint>(getpid())) {
                                   ++others;
                               }
                               g_object_unref(application);
                           }
                       }
                       g_object_unref(desktop);
                       return others == 0;
                   })
                .value_or(false);
        },
        std::chrono::seconds(5));
    return launchTarget(program);
}

std::unique_ptr<TargetAppClient> launchTarget(const QString& program)
{
    ensureDesktop();
    // The target inherits our environment at start; only its toolkit's platform differs.
    const bool native = nativeWaylandTarget(program);
    const std::map<const char*, QByteArray> platform{{"QT_QPA_PLATFORM", native ? "wayland" : "xcb"},
                                                     {"GDK_BACKEND", native ? "wayland" : "x11"}};
    std::map<const char*, std::optional<QByteArray>> saved;
    for (const auto& [name, value] : platform) {
        saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
        qputenv(name, value);
    }
    const auto restore = qScopeGuard([&] {
        for (const auto& [name, value] : saved) {
            if (value) {
                qputenv(name, *value);
            } else {
                qunsetenv(name);
            }
        }
    });
    QStringList arguments;
    QString executable = program;
    if (program.endsWith(u".py")) {
        arguments << program;
        executable = QStringLiteral("/usr/bin/python3");
    }
    return std::make_unique<TargetAppClient>(executable, arguments);
}

bool focusTarget(TargetAppClient& target, const QString& field)
{
    if (!target.focus(field)) {
        return false;
    }
    // The bus learns about focus a little after the toolkit does: wait until the focused
    // target shows this field's text (a combo box's editor carries no name of its own), not
    // the text of the field focused before. Tests give their fields different texts.
    const auto state = target.get(field);
    if (!state) {
        return false;
    }
    return waitUntil([&] {
        AccessibilityInputAccess access;
        const auto element = access.focusedTarget();
        const auto snapshot = element ? access.snapshot(*element) : std::nullopt;
        return snapshot && QString::fromStdU16String(snapshot->text) == state->text;
    });
}

InputDelivery insertWith(AccessibilityInputAccess& access, const std::u16string& text)
{
    std::optional<InputDelivery> outcome;
    auto insertion = FocusedInputWriter::insert(text, access, [&](InputDelivery d) { outcome = d; });
    waitUntil([&] { return outcome.has_value(); });
    return outcome.value_or(InputDelivery::uncertain);
}

HeldShift::HeldShift() : display_(XOpenDisplay(nullptr)), keycode_(0)
{
    auto* display = static_cast<Display*>(display_);
    keycode_ = XKeysymToKeycode(display, XK_Shift_L);
    XTestFakeKeyEvent(display, keycode_, True, CurrentTime);
    XSync(display, False);
}

HeldShift::~HeldShift()
{
    auto* display = static_cast<Display*>(display_);
    XTestFakeKeyEvent(display, keycode_, False, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

bool waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool nativeWaylandTarget(const QString& program)
{
    if (!waylandSession() || qgetenv("KIVO_TEST_TARGETS") == "xwayland") {
        return false;
    }
    if (program.endsWith(u".py")) {
        return true;
    }
    const QString plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
    return QFileInfo::exists(plugin);
}

QString qtTargetProgram()
{
    return QStringLiteral(KIVO_TARGET_APP);
}

QString gtkTargetProgram()
{
    static const bool available =
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('Gtk', '3.0'); "
                                                                "from gi.repository import Gtk")}) == 0;
    return available ? QStringLiteral(KIVO_SOURCE_DIR "/tools/targetapp/gtk-target.py") : QString();
}

} // namespace kivo::test
