#include "platform/text/Utf16.h"

#include "platform/text/TextError.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace kivo::Utf16 {

std::u16string fromUtf8(std::string_view utf8)
{
    if (utf8.empty()) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        throw TextError("text is not valid UTF-8");
    }
    std::u16string result(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(result.data(), length, nullptr, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    if (U_FAILURE(status)) {
        throw TextError("text is not valid UTF-8");
    }
    return result;
}

std::string toUtf8(std::u16string_view utf16)
{
    if (utf16.empty()) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, utf16.data(), static_cast<int32_t>(utf16.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        throw TextError("text holds an unpaired surrogate");
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(result.data(), length, nullptr, utf16.data(), static_cast<int32_t>(utf16.size()), &status);
    if (U_FAILURE(status)) {
        throw TextError("text holds an unpaired surrogate");
    }
    return result;
}

bool isValidUtf8(std::string_view utf8)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

char32_t codePointAt(std::u16string_view text, std::size_t index)
{
    UChar32 c = 0;
    auto i = static_cast<int32_t>(index);
    U16_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
    return static_cast<char32_t>(c);
}

char32_t codePointBefore(std::u16string_view text, std::size_t index)
{
    UChar32 c = 0;
    auto i = static_cast<int32_t>(index);
    U16_PREV(text.data(), 0, i, c);
    return static_cast<char32_t>(c);
}

} // namespace kivo::Utf16
