#pragma once

#include <string>
#include <string_view>

namespace kivo {

// Renders values inside error debug descriptions.
namespace DebugText {

// The text in double quotes with quotes, backslashes and control characters escaped.
std::string quoted(std::string_view text);

} // namespace DebugText
} // namespace kivo
