#include "platform/hotkeys/X11ShortcutBackend.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>

// Xlib's event-type macros collide with QEvent's enumerators.
namespace {
constexpr int xKeyPress = KeyPress;
constexpr int xKeyRelease = KeyRelease;
} // namespace
#undef KeyPress
#undef KeyRelease

namespace kivo {

namespace {

// Errors of one request batch, caught by a temporary handler around XSync.
int capturedError = 0;

int captureError(Display*, XErrorEvent* event)
{
    if (capturedError == 0) {
        capturedError = event->error_code;
    }
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display)
    {
        XSync(display_, False);
        capturedError = 0;
        previous_ = XSetErrorHandler(captureError);
    }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    int sync()
    {
        XSync(display_, False);
        return capturedError;
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

enum class ModifierRole {
    none,
    rightSuper,
    other,
    lock
};

ModifierRole roleOfKeysym(unsigned long keysym)
{
    switch (keysym) {
    case XK_Super_R: return ModifierRole::rightSuper;
    case XK_Super_L:
    case XK_Shift_L:
    case XK_Shift_R:
    case XK_Control_L:
    case XK_Control_R:
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_Hyper_L:
    case XK_Hyper_R:
    case XK_ISO_Level3_Shift:
    case XK_Mode_switch: return ModifierRole::other;
    case XK_Caps_Lock:
    case XK_Num_Lock:
    case XK_Shift_Lock: return ModifierRole::lock;
    default: return ModifierRole::none;
    }
}

ModifierRole roleOfQtKey(int key)
{
    switch (key) {
    case Qt::Key_Super_R: return ModifierRole::rightSuper;
    case Qt::Key_Super_L:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R: return ModifierRole::other;
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock: return ModifierRole::lock;
    default: return ModifierRole::none;
    }
}

} // namespace

X11ShortcutBackend::X11ShortcutBackend(const char* displayName)
{
    display_ = XOpenDisplay(displayName);
    if (display_ == nullptr) {
        return;
    }
    int event = 0;
    int error = 0;
    if (XQueryExtension(display_, "XInputExtension", &inputOpcode_, &event, &error)) {
        int major = 2;
        int minor = 2;
        if (XIQueryVersion(display_, &major, &minor) != Success) {
            inputOpcode_ = -1;
        }
    } else {
        inputOpcode_ = -1;
    }
    // Holding a combination then gives one press, not a stream of press-release pairs.
    XkbSetDetectableAutoRepeat(display_, True, nullptr);
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { processEvents(); });
    XFlush(display_);
}

X11ShortcutBackend::~X11ShortcutBackend()
{
    removeMonitors();
    unregisterHotKey();
    notifier_.reset();
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

void X11ShortcutBackend::installLocalMonitor(EventHandler handler)
{
    localHandler_ = std::move(handler);
    localKeys_ = {};
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

bool X11ShortcutBackend::installGlobalMonitor(EventHandler handler)
{
    if (display_ == nullptr || inputOpcode_ < 0) {
        return false;
    }
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> mask{};
    XISetMask(mask.data(), XI_RawKeyPress);
    XISetMask(mask.data(), XI_RawKeyRelease);
    XISetMask(mask.data(), XI_RawButtonPress);
    XIEventMask eventMask{XIAllMasterDevices, static_cast<int>(mask.size()), mask.data()};
    ErrorTrap trap(display_);
    XISelectEvents(display_, DefaultRootWindow(display_), &eventMask, 1);
    if (trap.sync() != 0) {
        return false;
    }
    // Start from the keys already held, so a modifier pressed before now still counts.
    globalKeys_ = {};
    std::array<char, 32> keys{};
    XQueryKeymap(display_, keys.data());
    for (int keycode = 8; keycode < 256; ++keycode) {
        if ((keys[static_cast<std::size_t>(keycode / 8)] & (1 << (keycode % 8))) != 0) {
            const auto role = roleOfKeysym(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0));
            if (role == ModifierRole::rightSuper) {
                globalKeys_.rightSuper = true;
            } else if (role == ModifierRole::other) {
                globalKeys_.others.insert(keycode);
            }
        }
    }
    globalHandler_ = std::move(handler);
    return true;
}

void X11ShortcutBackend::removeMonitors()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    localHandler_ = nullptr;
    if (globalHandler_ && display_ != nullptr) {
        std::array<unsigned char, 1> none{};
        XIEventMask eventMask{XIAllMasterDevices, 0, none.data()};
        XISelectEvents(display_, DefaultRootWindow(display_), &eventMask, 1);
        XFlush(display_);
    }
    globalHandler_ = nullptr;
}

unsigned X11ShortcutBackend::modifierMaskOf(unsigned long keysym) const
{
    const KeyCode keycode = XKeysymToKeycode(display_, keysym);
    XModifierKeymap* map = XGetModifierMapping(display_);
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && keycode != 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == keycode) {
                mask = 1U << modifier;
            }
        }
    }
    XFreeModifiermap(map);
    return mask;
}

std::int32_t X11ShortcutBackend::registerHotKey(HotKeyCombination combination, std::function<void()> pressed)
{
    unregisterHotKey();
    if (display_ == nullptr) {
        return -1;
    }
    auto grab = std::make_unique<Grab>();
    grab->keycode = XKeysymToKeycode(display_, XK_space);
    grab->modifiers = combination == HotKeyCombination::controlAltSpace ? ControlMask | modifierMaskOf(XK_Alt_L)
                                                                        : ShiftMask | modifierMaskOf(XK_Super_L);
    grab->pressed = std::move(pressed);
    if (grab->keycode == 0 || grab->modifiers == ControlMask || grab->modifiers == ShiftMask) {
        return -1;
    }
    // The grab only matches an exact modifier state, so also grab with the lock modifiers on.
    const unsigned numLock = modifierMaskOf(XK_Num_Lock);
    for (const unsigned locks : {0U, static_cast<unsigned>(LockMask), numLock, LockMask | numLock}) {
        if (std::find(grab->variants.begin(), grab->variants.end(), locks) == grab->variants.end()) {
            grab->variants.push_back(locks);
        }
    }
    const Window root = DefaultRootWindow(display_);
    ErrorTrap trap(display_);
    for (const unsigned locks : grab->variants) {
        XGrabKey(display_, grab->keycode, grab->modifiers | locks, root, False, GrabModeAsync, GrabModeAsync);
    }
    if (const int error = trap.sync(); error != 0) {
        // Exclusive: a combination another client holds is not ours, even in part.
        for (const unsigned locks : grab->variants) {
            XUngrabKey(display_, grab->keycode, grab->modifiers | locks, root);
        }
        trap.sync();
        return error;
    }
    grab_ = std::move(grab);
    return 0;
}

void X11ShortcutBackend::unregisterHotKey()
{
    if (!grab_ || display_ == nullptr) {
        grab_.reset();
        return;
    }
    const Window root = DefaultRootWindow(display_);
    ErrorTrap trap(display_);
    for (const unsigned locks : grab_->variants) {
        XUngrabKey(display_, grab_->keycode, grab_->modifiers | locks, root);
    }
    trap.sync();
    grab_.reset();
}

void X11ShortcutBackend::processEvents()
{
    while (display_ != nullptr && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == GenericEvent && event.xcookie.extension == inputOpcode_ &&
            XGetEventData(display_, &event.xcookie)) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            handleRawEvent(event.xcookie.evtype, raw->detail);
            XFreeEventData(display_, &event.xcookie);
        } else if (grab_ && (event.type == xKeyPress || event.type == xKeyRelease) &&
                   static_cast<int>(event.xkey.keycode) == grab_->keycode) {
            if (event.type == xKeyRelease) {
                grab_->held = false;
            } else if (!grab_->held) {
                grab_->held = true;
                // The callback may unregister and so destroy the grab: copy it first.
                const auto pressed = grab_->pressed;
                if (pressed) {
                    pressed();
                }
            }
        }
    }
}

void X11ShortcutBackend::handleRawEvent(int type, int detail)
{
    if (!globalHandler_) {
        return;
    }
    KeyMonitorEvent event;
    if (type == XI_RawButtonPress) {
        if (detail >= 4 && detail <= 7) {
            return; // scroll wheel steps are not presses
        }
        event.kind = KeyMonitorEvent::Kind::mouseDown;
    } else {
        const bool press = type == XI_RawKeyPress;
        const auto role = roleOfKeysym(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(detail), 0, 0));
        if (role == ModifierRole::none) {
            if (!press) {
                return;
            }
            event.kind = KeyMonitorEvent::Kind::keyDown;
        } else {
            if (role == ModifierRole::rightSuper) {
                globalKeys_.rightSuper = press;
            } else if (role == ModifierRole::other) {
                if (press) {
                    globalKeys_.others.insert(detail);
                } else {
                    globalKeys_.others.erase(detail);
                }
            }
            event.kind = KeyMonitorEvent::Kind::flagsChanged;
        }
    }
    event.rightSuperDown = globalKeys_.rightSuper;
    event.otherModifiers = !globalKeys_.others.empty();
    const auto handler = globalHandler_;
    handler(event);
}

bool X11ShortcutBackend::eventFilter(QObject* watched, QEvent* event)
{
    // Raw events cover our own windows too: with both monitors every tap would count twice.
    if (!localHandler_ || globalHandler_) {
        return QObject::eventFilter(watched, event);
    }
    KeyMonitorEvent observed;
    bool report = false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool press = event->type() == QEvent::KeyPress;
        // Qt reports right Super as Key_Meta on some keymaps; the keysym says which key it was.
        const quint32 keysym = key->nativeVirtualKey();
        const auto role = keysym != 0 ? roleOfKeysym(keysym) : roleOfQtKey(key->key());
        const int identity = keysym != 0 ? static_cast<int>(keysym) : key->key();
        if (role == ModifierRole::none) {
            report = press;
            observed.kind = KeyMonitorEvent::Kind::keyDown;
        } else {
            if (role == ModifierRole::rightSuper) {
                localKeys_.rightSuper = press;
            } else if (role == ModifierRole::other) {
                if (press) {
                    localKeys_.others.insert(identity);
                } else {
                    localKeys_.others.erase(identity);
                }
            }
            report = true;
            observed.kind = KeyMonitorEvent::Kind::flagsChanged;
        }
        break;
    }
    case QEvent::MouseButtonPress:
        report = true;
        observed.kind = KeyMonitorEvent::Kind::mouseDown;
        break;
    default: break;
    }
    if (report) {
        observed.rightSuperDown = localKeys_.rightSuper;
        observed.otherModifiers = !localKeys_.others.empty();
        const auto handler = localHandler_;
        handler(observed);
    }
    return QObject::eventFilter(watched, event); // nothing is swallowed
}

} // namespace kivo
