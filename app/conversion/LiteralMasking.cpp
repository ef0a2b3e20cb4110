#include "app/conversion/LiteralMasking.h"

#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"

#include <array>
#include <cctype>

namespace kivo::LiteralMasking {

namespace {

const Regex& literalRegex()
{
    static const Regex regex{literalPattern};
    return regex;
}

const Regex& quotationOrLiteralRegex()
{
    static const Regex regex{std::string(quotationPattern) + "|" + std::string(literalPattern)};
    return regex;
}

// What the pattern given to scanQuotations can match.
enum class Scanned {
    quotations,
    quotationsAndLiterals
};

// The matches of a plain left-to-right search with a quotation pattern (optionally followed by
// the literal pattern), in linear time. A bracket quotation fails only when no closing bracket
// follows it, which also dooms every later opening bracket of its kind; a plain search would
// rescan to the end of the text from each of them.
std::vector<TextRange> scanQuotations(std::u16string_view text, const Regex& pattern, Scanned scanned)
{
    constexpr std::u16string_view openers = u"\u300C\u300E\u201C";
    constexpr std::u16string_view closers = u"\u300D\u300F\u201D";
    // Where the last closer of each kind is; 0 when there is none, since no opener comes
    // before position 0 either.
    std::array<std::size_t, closers.size()> lastCloser{};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (const auto kind = closers.find(text[i]); kind != std::u16string_view::npos) {
            lastCloser[kind] = i;
        }
    }
    const bool literals = scanned == Scanned::quotationsAndLiterals;
    std::vector<TextRange> ranges;
    auto matcher = pattern.matcher(text);
    const auto size = static_cast<std::int64_t>(text.size());
    std::int64_t position = 0;
    while (position < size) {
        const char16_t c = text[static_cast<std::size_t>(position)];
        bool candidate = c == u'"' || (literals && c < 0x80 && std::isalnum(static_cast<int>(c)) != 0);
        if (const auto kind = openers.find(c); kind != std::u16string_view::npos) {
            candidate = lastCloser[kind] > static_cast<std::size_t>(position);
        }
        if (candidate) {
            if (const auto match = matcher.matchAt(position)) {
                ranges.push_back(*match);
                position = match->end();
                continue;
            }
        }
        ++position;
    }
    return ranges;
}

const Regex& tokenRegex()
{
    static const Regex regex{tokenPattern};
    return regex;
}

} // namespace

ProtectionError::ProtectionError(Code code)
    : ConversionError("Kivo.LiteralMasking.ProtectionError",
                      code == Code::reservedMarker ? "reservedMarker" : "literalMismatch", static_cast<int>(code)),
      code_(code)
{
}

std::string token(std::size_t index)
{
    return std::string(tokenPrefix) + std::to_string(index) + "\u27E7";
}

std::vector<TextRange> findQuotations(std::u16string_view text)
{
    static const Regex regex{quotationPattern};
    return scanQuotations(text, regex, Scanned::quotations);
}

Masked mask(const std::string& text, bool protectQuotations)
{
    if (text.find(tokenPrefix) != std::string::npos) {
        throw ProtectionError(ProtectionError::Code::reservedMarker);
    }
    const std::u16string utf16 = Utf16::fromUtf8(text);
    const auto matches = protectQuotations
                             ? scanQuotations(utf16, quotationOrLiteralRegex(), Scanned::quotationsAndLiterals)
                             : literalRegex().findAll(utf16);

    Masked masked;
    std::u16string built;
    built.reserve(utf16.size());
    std::size_t cursor = 0;
    for (const TextRange& match : matches) {
        const auto location = static_cast<std::size_t>(match.location);
        const auto length = static_cast<std::size_t>(match.length);
        built.append(utf16, cursor, location - cursor);
        const std::string spanToken = token(masked.spans.size());
        built += Utf16::fromUtf8(spanToken);
        masked.spans.push_back({spanToken, Utf16::toUtf8(std::u16string_view(utf16).substr(location, length))});
        cursor = location + length;
    }
    built.append(utf16, cursor, std::u16string::npos);
    masked.text = Utf16::toUtf8(built);
    return masked;
}

std::string restore(const std::string& text, const std::vector<Span>& spans)
{
    const std::u16string utf16 = Utf16::fromUtf8(text);
    const auto found = tokenRegex().findAll(utf16);
    if (found.size() != spans.size()) {
        throw ProtectionError(ProtectionError::Code::literalMismatch);
    }
    // Once the found tokens equal the spans' tokens, every occurrence of a span's token is one
    // of those matches (a token holds no second bracket), so splicing the values in at the
    // matches equals replacing each token everywhere, in one pass.
    std::u16string result;
    result.reserve(utf16.size());
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const auto location = static_cast<std::size_t>(found[i].location);
        const auto length = static_cast<std::size_t>(found[i].length);
        if (Utf16::toUtf8(std::u16string_view(utf16).substr(location, length)) != spans[i].token) {
            throw ProtectionError(ProtectionError::Code::literalMismatch);
        }
        result.append(utf16, cursor, location - cursor);
        result += Utf16::fromUtf8(spans[i].value);
        cursor = location + length;
    }
    result.append(utf16, cursor, std::u16string::npos);
    std::string restored = Utf16::toUtf8(result);
    if (restored.find(tokenPrefix) != std::string::npos) {
        throw ProtectionError(ProtectionError::Code::literalMismatch);
    }
    return restored;
}

} // namespace kivo::LiteralMasking
