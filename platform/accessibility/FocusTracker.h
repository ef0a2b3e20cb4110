#pragma once

#include "platform/accessibility/AccessibleElement.h"

#include <optional>
#include <string>

namespace kivo::FocusTracker {

// Follows the accessibility bus's focus events from now on, as screen readers do, keeping for
// each application the element that last gained the focus. Once per process; any thread.
void start();

// Accessibility thread: the element that last gained the focus in the application on
// `busName` and has not lost it since, by the events. Check its state before trusting it.
std::optional<AccessibleElement> lastFocused(const std::string& busName);

} // namespace kivo::FocusTracker
