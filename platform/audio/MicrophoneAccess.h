#pragma once

#include <functional>

namespace kivo {

// Permission to record from the microphone.
namespace MicrophoneAccess {

// Calls `answer` once, on any thread. A Linux desktop has no microphone permission: access is
// granted whenever a device can be opened, so the answer is always yes and comes at once.
void request(std::function<void(bool granted)> answer);

} // namespace MicrophoneAccess
} // namespace kivo
