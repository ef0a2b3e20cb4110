#pragma once

#include <cstddef>
#include <string>

namespace kivo {

// Character error rate between a reference transcript and a recognised one, compared the way
// published Cantonese figures are: punctuation and spaces removed, full- and half-width forms
// folded (NFKC), Latin letters case-folded, and Simplified and Traditional characters folded
// to one script, so only the words themselves count.
struct CharacterErrorRate {
    std::size_t edits = 0;           // substitutions, insertions and deletions
    std::size_t referenceLength = 0; // characters of the normalized reference

    // edits / referenceLength; 0 for two empty texts and 1 per character for an empty reference.
    double rate() const;

    static CharacterErrorRate between(const std::string& reference, const std::string& recognised);
    // The form both texts are compared in (UTF-8).
    static std::string normalized(const std::string& text);
};

} // namespace kivo
