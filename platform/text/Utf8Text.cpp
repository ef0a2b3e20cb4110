#include "platform/text/Utf8Text.h"

#include <unicode/utf8.h>

namespace kivo::Utf8Text {

CodePoint next(std::string_view text, std::size_t at)
{
    auto index = static_cast<std::int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(text.data(), index, static_cast<std::int32_t>(text.size()), c);
    return {c, at, static_cast<std::size_t>(index) - at};
}

std::vector<CodePoint> codePoints(std::string_view text)
{
    std::vector<CodePoint> out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        out.push_back(next(text, at));
        at += out.back().length;
    }
    return out;
}

namespace {

// The text with each ill-formed byte replaced by `perIllFormedByte` (which may be empty).
std::string withIllFormedBytesAs(std::string_view text, std::string_view perIllFormedByte)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const CodePoint c = next(text, at);
        if (c.wellFormed()) {
            out.append(text.substr(at, c.length));
        } else {
            for (std::size_t i = 0; i < c.length; ++i) {
                out.append(perIllFormedByte);
            }
        }
        at += c.length;
    }
    return out;
}

} // namespace

std::string sanitized(std::string_view text)
{
    // One replacement per byte, as the reply has always been written.
    return withIllFormedBytesAs(text, "\xEF\xBF\xBD");
}

std::string wellFormed(std::string_view text)
{
    return withIllFormedBytesAs(text, {});
}

} // namespace kivo::Utf8Text
