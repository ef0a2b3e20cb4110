#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace kivo {

// Which process owns the window that has the X keyboard focus, which is where a posted
// keystroke lands, whatever the accessibility bus believes. Main thread only.
class KeyboardFocus {
public:
    KeyboardFocus();
    ~KeyboardFocus();
    KeyboardFocus(const KeyboardFocus&) = delete;
    KeyboardFocus& operator=(const KeyboardFocus&) = delete;

    // None when no window has the focus, or the window does not say which process it belongs to.
    std::optional<std::int64_t> process() const;

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

} // namespace kivo
