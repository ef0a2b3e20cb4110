#include "app/shell/shortcut/GlobalShortcut.h"

#include <utility>

namespace kivo {

GlobalShortcut::GlobalShortcut(std::unique_ptr<ShortcutBackend> backend, std::function<bool()> isTrusted,
                               std::function<void()> action)
    : backend_(std::move(backend)), isTrusted_(std::move(isTrusted)), action_(std::move(action)),
      self_(std::make_shared<GlobalShortcut*>(this))
{
}

GlobalShortcut::~GlobalShortcut()
{
    *self_ = nullptr;
    stop();
}

GlobalShortcut::State GlobalShortcut::configure(PanelShortcut shortcut)
{
    stop();
    selection_ = shortcut;
    const bool trusted = isTrusted_();
    lastTrusted_ = trusted;

    std::weak_ptr<GlobalShortcut*> weak = self_;
    switch (shortcut) {
    case PanelShortcut::disabled: return State::disabled();
    case PanelShortcut::rightCommand: {
        auto handler = [weak](const KeyMonitorEvent& event) {
            if (const auto self = weak.lock(); self && *self) {
                (*self)->receive(event);
            }
        };
        // Taps while one of our windows has the keyboard work even without permission.
        backend_->installLocalMonitor(handler);
        monitorsInstalled_ = true;
        if (!trusted) {
            return State::permissionRequired();
        }
        if (!backend_->installGlobalMonitor(handler)) {
            return State::failed(-1);
        }
        return State::ready();
    }
    case PanelShortcut::controlOptionSpace:
    case PanelShortcut::commandShiftSpace: {
        const auto combination = shortcut == PanelShortcut::controlOptionSpace ? HotKeyCombination::controlAltSpace
                                                                               : HotKeyCombination::shiftSuperSpace;
        const std::int32_t status = backend_->registerHotKey(combination, [weak] {
            if (const auto self = weak.lock(); self && *self && (*self)->action_) {
                (*self)->action_();
            }
        });
        if (status != 0) {
            stop();
            return State::failed(status);
        }
        hotKeyRegistered_ = true;
        return State::ready();
    }
    }
    return State::disabled();
}

std::optional<GlobalShortcut::State> GlobalShortcut::refreshPermission()
{
    if (isTrusted_() == lastTrusted_) {
        return std::nullopt;
    }
    return configure(selection_);
}

void GlobalShortcut::stop()
{
    if (monitorsInstalled_) {
        backend_->removeMonitors();
        monitorsInstalled_ = false;
    }
    if (hotKeyRegistered_) {
        backend_->unregisterHotKey();
        hotKeyRegistered_ = false;
    }
    gesture_ = {};
    selection_ = PanelShortcut::disabled;
}

void GlobalShortcut::receive(const KeyMonitorEvent& event)
{
    if (event.kind != KeyMonitorEvent::Kind::flagsChanged) {
        gesture_.cancel();
        return;
    }
    if (gesture_.flagsChanged(event.rightSuperDown, event.otherModifiers) && action_) {
        action_();
    }
}

} // namespace kivo
