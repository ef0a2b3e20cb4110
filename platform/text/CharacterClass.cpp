#include "platform/text/CharacterClass.h"

#include "platform/text/Utf16.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace kivo::CharacterClass {

bool isPunctuation(char32_t c)
{
    return u_ispunct(static_cast<UChar32>(c));
}

bool isWhitespaceOrNewline(char32_t c)
{
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool isDecimalDigit(char32_t c)
{
    return u_isdigit(static_cast<UChar32>(c));
}

bool isLetterOrNumber(char32_t c)
{
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

bool isBlank(std::string_view utf8)
{
    std::int32_t index = 0;
    const auto length = static_cast<std::int32_t>(utf8.size());
    while (index < length) {
        UChar32 c = 0;
        U8_NEXT(utf8.data(), index, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            return false;
        }
    }
    return true;
}

std::u16string_view trimWhitespaceAndNewlines(std::u16string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        const char32_t c = Utf16::codePointAt(text, begin);
        if (!isWhitespaceOrNewline(c)) {
            break;
        }
        begin += U16_LENGTH(c);
    }
    while (end > begin) {
        const char32_t c = Utf16::codePointBefore(text, end);
        if (!isWhitespaceOrNewline(c)) {
            break;
        }
        end -= U16_LENGTH(c);
    }
    return text.substr(begin, end - begin);
}

} // namespace kivo::CharacterClass
