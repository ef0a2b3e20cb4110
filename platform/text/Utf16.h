#pragma once

#include <string>
#include <string_view>

namespace kivo::Utf16 {

// Throws TextError on malformed UTF-8: a silently substituted character would corrupt the
// user's text further down.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
bool isValidUtf8(std::string_view utf8);

// Code point starting at `index`; an unpaired surrogate is returned as itself.
char32_t codePointAt(std::u16string_view text, std::size_t index);
// Code point ending just before `index` (index > 0).
char32_t codePointBefore(std::u16string_view text, std::size_t index);

} // namespace kivo::Utf16
