#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kivo::Graphemes {

// Offsets (UTF-16) of every user-perceived character boundary, from 0 to text.size() inclusive.
std::vector<std::int64_t> boundaries(std::u16string_view text);

// Whether `offset` lies on a character boundary (0 and text.size() always do).
bool isBoundary(std::u16string_view text, std::int64_t offset);

} // namespace kivo::Graphemes
