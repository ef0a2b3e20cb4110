#pragma once

#include "app/delivery/InputDelivery.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tools/targetapp/TargetAppClient.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kivo::test {

// The QApplication of the desktop tests, with the accessibility bus switched on before any
// target starts (toolkits decide at start-up whether to expose themselves).
void ensureDesktop();

// Starts a target, focuses `field` and waits until the accessibility bus reports it focused.
std::unique_ptr<TargetAppClient> startTarget(const QString& program);
// Starts a target beside those already running.
std::unique_ptr<TargetAppClient> launchTarget(const QString& program);
bool focusTarget(TargetAppClient& target, const QString& field);

// Runs one whole insertion with the real access and waits for its outcome.
InputDelivery insertWith(AccessibilityInputAccess& access, const std::u16string& text);

// Holds Shift down through XTest for as long as it lives.
class HeldShift {
public:
    HeldShift();
    ~HeldShift();
    HeldShift(const HeldShift&) = delete;
    HeldShift& operator=(const HeldShift&) = delete;

private:
    void* display_;
    unsigned keycode_;
};

// Under a Wayland session (scripts/test-session.sh --wayland) the targets run as native
// Wayland clients, unless KIVO_TEST_TARGETS=xwayland keeps them on XWayland; the Qt target goes
// native only where Qt's wayland plugin is installed.
bool waylandSession();
bool nativeWaylandTarget(const QString& program);

QString qtTargetProgram();
// Empty when python3 with GTK 3 is not installed.
QString gtkTargetProgram();

} // namespace kivo::test
