#pragma once

#include <cstddef>

namespace kivo::SourceLimit {

// The longest source a conversion accepts, in UTF-8 bytes: well inside the model's context
// once the instructions and examples are added.
inline constexpr std::size_t bytes = 24000;

} // namespace kivo::SourceLimit
