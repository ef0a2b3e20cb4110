#include "tools/accuracy/CharacterErrorRate.h"

#include "platform/chinesescript/ChineseScriptConverter.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <vector>

namespace kivo {
namespace {

std::u32string codePoints(const std::string& text)
{
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    std::u32string out;
    for (int32_t at = 0; at < unicode.length(); at = unicode.moveIndex32(at, 1)) {
        out.push_back(static_cast<char32_t>(unicode.char32At(at)));
    }
    return out;
}

} // namespace

double CharacterErrorRate::rate() const
{
    if (referenceLength == 0) {
        return edits == 0 ? 0.0 : static_cast<double>(edits);
    }
    return static_cast<double>(edits) / static_cast<double>(referenceLength);
}

std::string CharacterErrorRate::normalized(const std::string& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    if (U_SUCCESS(status)) {
        unicode = nfkc->normalize(unicode, status);
    }
    unicode.foldCase();
    icu::UnicodeString kept;
    for (int32_t at = 0; at < unicode.length(); at = unicode.moveIndex32(at, 1)) {
        const UChar32 c = unicode.char32At(at);
        if (u_ispunct(c) || u_isUWhiteSpace(c) || u_charType(c) == U_MATH_SYMBOL ||
            u_charType(c) == U_MODIFIER_SYMBOL || u_charType(c) == U_OTHER_SYMBOL ||
            u_charType(c) == U_CURRENCY_SYMBOL) {
            continue;
        }
        kept.append(c);
    }
    std::string utf8;
    kept.toUTF8String(utf8);
    return ChineseScriptConverter::shared(ChineseScriptConverter::Direction::hongKongToSimplified).convert(utf8);
}

CharacterErrorRate CharacterErrorRate::between(const std::string& reference, const std::string& recognised)
{
    const std::u32string expected = codePoints(normalized(reference));
    const std::u32string got = codePoints(normalized(recognised));
    // Levenshtein distance over code points, one row at a time.
    std::vector<std::size_t> row(got.size() + 1);
    for (std::size_t j = 0; j <= got.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= expected.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= got.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (expected[i - 1] == got[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return {row[got.size()], expected.size()};
}

} // namespace kivo
