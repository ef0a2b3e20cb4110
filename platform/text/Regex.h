#pragma once

#include "platform/text/TextRange.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

namespace kivo {

// An ICU regular expression, compiled once with no options (case-sensitive, not multi-line).
// The compiled pattern is immutable, so one instance may be shared across threads.
class Regex {
public:
    explicit Regex(std::string_view pattern); // throws TextError when it does not compile
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // Every match, left to right and without overlap, as UTF-16 ranges.
    std::vector<TextRange> findAll(std::u16string_view text) const;
    // Whether the pattern matches anywhere in the text.
    bool search(std::u16string_view text) const;

    // A matcher bound to one text, for repeated anchored attempts without re-creating it.
    // The text must outlive the matcher.
    class Matcher {
    public:
        ~Matcher();
        Matcher(Matcher&&) noexcept;
        Matcher& operator=(Matcher&&) noexcept;
        // The match that starts exactly at `start`, if any ("$" still means the end of the text).
        // An empty match counts as none, so a scan that jumps to a match's end always advances.
        std::optional<TextRange> matchAt(std::int64_t start);

    private:
        friend class Regex;
        struct State;
        explicit Matcher(std::unique_ptr<State> state);
        std::unique_ptr<State> state_;
    };
    Matcher matcher(std::u16string_view text) const;

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

} // namespace kivo
