#pragma once

#include "platform/hotkeys/ShortcutBackend.h"

#include <QObject>

#include <memory>
#include <set>
#include <vector>

class QSocketNotifier;
using Display = struct _XDisplay; // NOLINT(bugprone-reserved-identifier): Xlib's own name

namespace kivo {

// Global keys on X11 through a private Xlib connection served by the Qt event loop:
// exclusive XGrabKey registrations on the root window (with the NumLock and CapsLock
// variants), XInput 2 raw key and button events on the root window for the global monitor,
// and an application event filter for the local monitor. Without an X display the global
// services report failure and only the local monitor works.
class X11ShortcutBackend final : public QObject, public ShortcutBackend {
public:
    // Connects to $DISPLAY (or the given display name).
    explicit X11ShortcutBackend(const char* displayName = nullptr);
    ~X11ShortcutBackend() override;

    void installLocalMonitor(EventHandler handler) override;
    bool installGlobalMonitor(EventHandler handler) override;
    void removeMonitors() override;
    std::int32_t registerHotKey(HotKeyCombination combination, std::function<void()> pressed) override;
    void unregisterHotKey() override;

    bool hasDisplay() const { return display_ != nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Which modifier keys are held, from key presses and releases seen by one monitor.
    struct ModifierKeys {
        bool rightSuper = false;
        std::set<int> others; // held "other" modifier keys, by key code
    };

    void processEvents();
    void handleRawEvent(int type, int detail);
    unsigned modifierMaskOf(unsigned long keysym) const;

    Display* display_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    int inputOpcode_ = -1;

    EventHandler localHandler_;
    EventHandler globalHandler_;
    ModifierKeys localKeys_;
    ModifierKeys globalKeys_;

    struct Grab {
        int keycode = 0;
        unsigned modifiers = 0;
        std::vector<unsigned> variants;
        std::function<void()> pressed;
        bool held = false;
    };
    std::unique_ptr<Grab> grab_;
};

} // namespace kivo
