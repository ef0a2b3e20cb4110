#pragma once

namespace kivo::AccessibilityBus {

// Whether the desktop's accessibility bus is enabled: the trust that the global right-key
// monitor and automatic insertion need. False when the bus cannot be asked.
bool isEnabled();

// Asks the bus to enable (or disable) accessibility; returns whether the request was taken.
// Applications already running may need a restart to expose their inputs.
bool setEnabled(bool enabled);

} // namespace kivo::AccessibilityBus
