#include "platform/keys/SyntheticKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kivo {

struct SyntheticKeyboard::Connection {
    Display* display = nullptr;
    bool xtest = false;
    KeyCode control = 0;
    KeyCode v = 0;
};

SyntheticKeyboard::SyntheticKeyboard() : connection_(std::make_unique<Connection>())
{
    connection_->display = XOpenDisplay(nullptr);
    if (!connection_->display) {
        return;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    connection_->xtest = XTestQueryExtension(connection_->display, &eventBase, &errorBase, &major, &minor);
    connection_->control = XKeysymToKeycode(connection_->display, XK_Control_L);
    connection_->v = XKeysymToKeycode(connection_->display, XK_v);
}

SyntheticKeyboard::~SyntheticKeyboard()
{
    if (connection_->display) {
        XCloseDisplay(connection_->display);
    }
}

bool SyntheticKeyboard::canPost() const
{
    return connection_->display && connection_->xtest;
}

std::optional<bool> SyntheticKeyboard::modifiersHeld() const
{
    if (!connection_->display) {
        return std::nullopt;
    }
    XkbStateRec state{};
    if (XkbGetState(connection_->display, XkbUseCoreKbd, &state) != Success) {
        return std::nullopt;
    }
    // Locked modifiers (Caps Lock, Num Lock) are not held keys and do not change a paste.
    const unsigned held = static_cast<unsigned>(state.base_mods | state.latched_mods);
    return (held & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask)) != 0;
}

bool SyntheticKeyboard::canPostPaste() const
{
    return canPost() && connection_->control != 0 && connection_->v != 0;
}

bool SyntheticKeyboard::postPaste()
{
    if (!canPostPaste()) {
        return false;
    }
    Display* display = connection_->display;
    const bool posted = XTestFakeKeyEvent(display, connection_->control, True, CurrentTime) &&
                        XTestFakeKeyEvent(display, connection_->v, True, CurrentTime) &&
                        XTestFakeKeyEvent(display, connection_->v, False, CurrentTime);
    // Control is released whatever happened, so it is never left held.
    const bool released = XTestFakeKeyEvent(display, connection_->control, False, CurrentTime);
    XSync(display, False);
    return posted && released;
}

} // namespace kivo
