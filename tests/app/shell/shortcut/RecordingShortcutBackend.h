#pragma once

#include "app/shell/shortcut/GlobalShortcut.h"

#include <functional>
#include <memory>
#include <optional>

namespace kivo::test {

// Records what the shortcut asked of the window system and lets a test play events back.
struct RecordingShortcutBackend : ShortcutBackend {
    struct Log {
        int localInstalls = 0;
        int globalInstalls = 0;
        int monitorRemovals = 0;
        int registrations = 0;
        int unregistrations = 0;
        std::optional<HotKeyCombination> combination;
        bool globalFails = false;
        std::int32_t registrationStatus = 0;
        EventHandler local;
        EventHandler global;
        std::function<void()> pressed;
    };
    explicit RecordingShortcutBackend(std::shared_ptr<Log> log = std::make_shared<Log>()) : log(std::move(log)) {}

    void installLocalMonitor(EventHandler handler) override
    {
        ++log->localInstalls;
        log->local = std::move(handler);
    }
    bool installGlobalMonitor(EventHandler handler) override
    {
        ++log->globalInstalls;
        if (log->globalFails) {
            return false;
        }
        log->global = std::move(handler);
        return true;
    }
    void removeMonitors() override
    {
        ++log->monitorRemovals;
        log->local = nullptr;
        log->global = nullptr;
    }
    std::int32_t registerHotKey(HotKeyCombination combination, std::function<void()> pressed) override
    {
        ++log->registrations;
        log->combination = combination;
        if (log->registrationStatus == 0) {
            log->pressed = std::move(pressed);
        }
        return log->registrationStatus;
    }
    void unregisterHotKey() override
    {
        ++log->unregistrations;
        log->pressed = nullptr;
    }

    std::shared_ptr<Log> log;
};

} // namespace kivo::test
