#include "tests/platform/accessibility/DesktopSession.h"

#include "app/delivery/FocusedInputWriter.h"
#include "platform/accessibilitybus/AccessibilityBus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

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
        environment->application = std::make_unique<QApplication>(argc, argv);
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

std::unique_ptr<TargetAppClient> startTarget(const QString& program)
{
    ensureDesktop();
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
    // The bus learns about focus a little after the toolkit does; a field that is no target
    // (password) never shows, so this only waits for some focused element of the target.
    return waitUntil([&] {
        AccessibilityInputAccess access;
        access.focusedTarget();
        const auto& lines = access.diagnostics();
        const std::string expected = " pid=" + std::to_string(target.processId());
        return !lines.empty() && lines.front().ends_with(expected) &&
               std::find(lines.begin(), lines.end(), "AXFocusedUIElement=AXError(-25212)") == lines.end();
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
