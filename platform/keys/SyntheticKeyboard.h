#pragma once

#include <memory>
#include <optional>

namespace kivo {

// Synthetic key events through XTest on a connection of our own, so posting never goes
// through the toolkit's event queue. Main thread only.
class SyntheticKeyboard {
public:
    SyntheticKeyboard();
    ~SyntheticKeyboard();
    SyntheticKeyboard(const SyntheticKeyboard&) = delete;
    SyntheticKeyboard& operator=(const SyntheticKeyboard&) = delete;

    // The display is reachable and accepts synthetic events.
    bool canPost() const;
    // Shift, Control, Alt or Super held right now; none when the state cannot be read.
    std::optional<bool> modifiersHeld() const;
    // Both keys of the paste keystroke exist on this keyboard.
    bool canPostPaste() const;
    // Control+V: press and release, flushed to the server.
    bool postPaste();

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

} // namespace kivo
