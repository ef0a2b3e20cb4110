#pragma once

#include <string>
#include <string_view>

namespace kivo {

// UTF-8 helpers for text that comes back from the model.
namespace Utf8Text {

// The text with every ill-formed sequence replaced by U+FFFD, so it always serialises.
std::string sanitized(std::string_view text);

}  // namespace Utf8Text
}  // namespace kivo
