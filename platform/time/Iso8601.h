#pragma once

#include <chrono>
#include <string>

namespace kivo {

namespace Iso8601 {

// Internet date-time in UTC with whole seconds, e.g. "2025-03-01T08:05:09Z".
std::string format(std::chrono::system_clock::time_point time);

} // namespace Iso8601
} // namespace kivo
