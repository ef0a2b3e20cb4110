#pragma once

#include <string_view>

namespace kivo::CharacterClass {

bool isPunctuation(char32_t c);         // general category P*
bool isWhitespaceOrNewline(char32_t c); // Unicode White_Space, line breaks included
bool isDecimalDigit(char32_t c);        // general category Nd
bool isLetterOrNumber(char32_t c);      // general categories L* and N* (Han counts as a letter)

// True when UTF-8 text holds nothing but White_Space (an ill-formed sequence is not blank).
bool isBlank(std::string_view utf8);

// The text with White_Space characters removed from both ends.
std::u16string_view trimWhitespaceAndNewlines(std::u16string_view text);

} // namespace kivo::CharacterClass
