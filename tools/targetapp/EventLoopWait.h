#pragma once

#include <chrono>
#include <functional>

namespace kivo {

// Runs this thread's Qt event loop until `condition` holds or `limit` passes, looking again
// every `step`; whether it came to hold. For tests, benchmarks and the programs they drive.
bool spinUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds step = std::chrono::milliseconds(5));

} // namespace kivo
