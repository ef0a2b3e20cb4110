#include "platform/text/Regex.h"

#include "platform/text/TextError.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <string>
#include <utility>

namespace kivo {

namespace {

// A read-only alias; the matcher never writes to its input.
icu::UnicodeString alias(std::u16string_view text)
{
    return icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size()));
}

std::unique_ptr<icu::RegexMatcher> makeMatcher(const icu::RegexPattern& pattern, const icu::UnicodeString& input)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(input, status));
    if (U_FAILURE(status) || !matcher) {
        throw TextError(std::string("cannot create a regular-expression matcher: ") + u_errorName(status));
    }
    return matcher;
}

void checkMatchStatus(UErrorCode status)
{
    if (U_FAILURE(status)) {
        throw TextError(std::string("regular-expression match failed: ") + u_errorName(status));
    }
}

TextRange currentRange(icu::RegexMatcher& matcher)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t start = matcher.start64(status);
    const std::int64_t end = matcher.end64(status);
    checkMatchStatus(status);
    return {start, end - start};
}

} // namespace

Regex::Regex(std::string_view pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const auto source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    pattern_.reset(icu::RegexPattern::compile(source, 0, parseError, status));
    if (U_FAILURE(status) || !pattern_) {
        throw TextError(std::string("regular expression does not compile (") + u_errorName(status) + " at offset " +
                        std::to_string(parseError.offset) + "): " + std::string(pattern));
    }
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

std::vector<TextRange> Regex::findAll(std::u16string_view text) const
{
    const auto input = alias(text);
    auto matcher = makeMatcher(*pattern_, input);
    std::vector<TextRange> ranges;
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find(status)) {
        ranges.push_back(currentRange(*matcher));
    }
    checkMatchStatus(status);
    return ranges;
}

bool Regex::search(std::u16string_view text) const
{
    const auto input = alias(text);
    auto matcher = makeMatcher(*pattern_, input);
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher->find(status);
    checkMatchStatus(status);
    return found;
}

struct Regex::Matcher::State {
    icu::UnicodeString input;
    std::unique_ptr<icu::RegexMatcher> matcher;
};

Regex::Matcher::Matcher(std::unique_ptr<State> state) : state_(std::move(state)) {}
Regex::Matcher::~Matcher() = default;
Regex::Matcher::Matcher(Matcher&&) noexcept = default;
Regex::Matcher& Regex::Matcher::operator=(Matcher&&) noexcept = default;

Regex::Matcher Regex::matcher(std::u16string_view text) const
{
    auto state = std::make_unique<Matcher::State>();
    state->input = alias(text);
    state->matcher = makeMatcher(*pattern_, state->input);
    return Matcher(std::move(state));
}

std::optional<TextRange> Regex::Matcher::matchAt(std::int64_t start)
{
    auto& matcher = state_->matcher;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher->lookingAt(start, status);
    checkMatchStatus(status);
    if (!found) {
        return std::nullopt;
    }
    const TextRange range = currentRange(*matcher);
    if (range.length == 0) {
        return std::nullopt;
    }
    return range;
}

} // namespace kivo
