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

QString qtTargetProgram();
// Empty when python3 with GTK 3 is not installed.
QString gtkTargetProgram();

} // namespace kivo::test
