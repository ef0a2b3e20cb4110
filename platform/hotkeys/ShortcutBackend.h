#pragma once

#include <cstdint>
#include <functional>

namespace kivo {

// What a key monitor saw: a modifier change, or a key or mouse press that is not one.
struct KeyMonitorEvent {
    enum class Kind {
        flagsChanged,
        keyDown,
        mouseDown
    };
    Kind kind = Kind::flagsChanged;
    bool rightSuperDown = false; // the right Super key is held
    bool otherModifiers = false; // left Super, Shift, Control or Alt is held
};

// A global key combination: Space with these modifiers.
enum class HotKeyCombination {
    controlAltSpace,
    shiftSuperSpace
};

// The window system's global keyboard services behind one narrow seam, so the shortcut's
// logic can be driven by a recording fake in tests. Everything runs on the main thread.
class ShortcutBackend {
public:
    using EventHandler = std::function<void(const KeyMonitorEvent&)>;

    virtual ~ShortcutBackend() = default;

    // Events while one of our own windows has the keyboard. Never fails.
    virtual void installLocalMonitor(EventHandler handler) = 0;
    // Events from every application; returns false when the monitor cannot be created.
    virtual bool installGlobalMonitor(EventHandler handler) = 0;
    virtual void removeMonitors() = 0;

    // Exclusive registration of a combination: 0, or the window system's error number when it
    // is taken or cannot be registered. `pressed` runs once per press (not on auto-repeat).
    virtual std::int32_t registerHotKey(HotKeyCombination combination, std::function<void()> pressed) = 0;
    virtual void unregisterHotKey() = 0;
};

} // namespace kivo
