#pragma once

namespace kivo {

// Detects a clean solo tap of the right Super key: pressed and released with no other
// modifier at any time and no key or mouse press in between. No time limit on the hold.
struct RightCommandGesture {
    bool down = false;  // the right key is held, as seen by this detector
    bool armed = false; // the current press is still a clean solo press

    // A modifier change; returns true when the tap is complete and should fire.
    bool flagsChanged(bool rightDown, bool otherModifiers);
    // A key or mouse press in between spoils the current press.
    void cancel() { armed = false; }

    friend bool operator==(const RightCommandGesture&, const RightCommandGesture&) = default;
};

} // namespace kivo
