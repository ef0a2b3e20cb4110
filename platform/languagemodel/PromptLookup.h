#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo {

// Guesses the tokens an answer will write next from text it was given to read. A rewrite
// copies long runs of its source, so the tokens that followed the answer's last few tokens in
// the source are a cheap draft that the model can confirm in one evaluation. Tokens are the
// model's ids; this knows nothing of the model.
class PromptLookup {
public:
    using Token = std::int32_t;

    // Longest run of the answer's last tokens that is looked for in the source.
    static constexpr std::size_t longestMatch = 3;

    explicit PromptLookup(std::vector<Token> source);

    // Up to `count` tokens that followed the longest tail of `answer` (at most longestMatch
    // tokens) found in the source; empty when no tail is found. Of several places, the first
    // at or after the end of what was last accepted, so a copy moves forward through the source.
    std::vector<Token> draft(const std::vector<Token>& answer, std::size_t count);

    // How many tokens of the last draft the model agreed with.
    void accepted(std::size_t count);

private:
    std::vector<Token> source_;
    std::size_t cursor_ = 0;     // just after the accepted part of the last draft, in source_
    std::size_t draftStart_ = 0; // where in source_ the last draft began
};

} // namespace kivo
