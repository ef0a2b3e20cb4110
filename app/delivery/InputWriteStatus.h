#pragma once

#include <string_view>

namespace kivo {

// Result of one write into a focused input; the raw values appear in the diagnostics.
enum class InputWriteStatus {
    accepted,
    failed,
    unsupported,
    changed
};

std::string_view rawValue(InputWriteStatus status);

} // namespace kivo
