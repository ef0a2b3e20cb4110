#pragma once

#include "app/shell/shortcut/PanelShortcut.h"
#include "app/shell/shortcut/RightCommandGesture.h"
#include "platform/hotkeys/ShortcutBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kivo {

// Owns the registration of the recording shortcut and the right-key tap detector.
class GlobalShortcut {
public:
    class State {
    public:
        enum class Kind {
            failed,
            ready,
            disabled,
            permissionRequired
        };
        static State failed(std::int32_t status) { return {Kind::failed, status}; }
        static State ready() { return {Kind::ready, 0}; }
        static State disabled() { return {Kind::disabled, 0}; }
        static State permissionRequired() { return {Kind::permissionRequired, 0}; }

        Kind kind() const { return kind_; }
        std::int32_t status() const { return status_; } // meaningful for failed only
        friend bool operator==(const State&, const State&) = default;

    private:
        State(Kind kind, std::int32_t status) : kind_(kind), status_(status) {}
        Kind kind_;
        std::int32_t status_;
    };

    GlobalShortcut(std::unique_ptr<ShortcutBackend> backend, std::function<bool()> isTrusted,
                   std::function<void()> action);
    ~GlobalShortcut();
    GlobalShortcut(const GlobalShortcut&) = delete;
    GlobalShortcut& operator=(const GlobalShortcut&) = delete;

    // Tears down and registers anew.
    State configure(PanelShortcut shortcut);
    // Reconfigures only when the trust answer changed since the last configure.
    std::optional<State> refreshPermission();
    // Removes every monitor and hot key; the selection becomes disabled.
    void stop();

    PanelShortcut selection() const { return selection_; }
    const RightCommandGesture& gesture() const { return gesture_; }

private:
    void receive(const KeyMonitorEvent& event);

    std::unique_ptr<ShortcutBackend> backend_;
    std::function<bool()> isTrusted_;
    std::function<void()> action_;
    bool monitorsInstalled_ = false;
    bool hotKeyRegistered_ = false;
    RightCommandGesture gesture_;
    PanelShortcut selection_ = PanelShortcut::disabled;
    std::optional<bool> lastTrusted_;
    // Handlers capture this token, not the object, so a late event after destruction is dropped.
    std::shared_ptr<GlobalShortcut*> self_;
};

} // namespace kivo
