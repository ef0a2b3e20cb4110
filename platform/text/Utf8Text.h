#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// The one walk over UTF-8 bytes that the recogniser's output, the model's answer and the
// reply writer share, so that they agree on what is ill-formed.
namespace Utf8Text {

struct CodePoint {
    std::int32_t value = -1; // negative: an ill-formed sequence (its longest invalid start)
    std::size_t begin = 0;
    std::size_t length = 0;

    bool wellFormed() const { return value >= 0; }
};

// The code point or ill-formed sequence that starts at byte `at` (< text.size()).
CodePoint next(std::string_view text, std::size_t at);
std::vector<CodePoint> codePoints(std::string_view text);

// Every ill-formed byte replaced by U+FFFD, so the text always serialises.
std::string sanitized(std::string_view text);
// Ill-formed sequences left out, as when a model stops in the middle of a character.
std::string wellFormed(std::string_view text);

} // namespace Utf8Text
} // namespace kivo
