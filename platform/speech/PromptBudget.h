#pragma once

#include <cstddef>
#include <vector>

namespace kivo {

// Whisper conditions its decoder on at most half its text context of prompt tokens and drops
// the oldest beyond that, so the hints are chosen to fit instead of being cut blindly.
namespace PromptBudget {

using Tokens = std::vector<int>;

struct Plan {
    std::vector<std::size_t> chosen; // indices of the hints that fit, in list order
    Tokens tokens;                   // those hints, each followed by the separator
};

// Takes hints in list order (the first is the most useful) while they fit in `budget` tokens;
// a hint too long for what is left is skipped so shorter ones after it still get in. Repeated
// hints count once.
Plan fit(const std::vector<Tokens>& hints, const Tokens& separator, std::size_t budget);

// The prompt of one decode: the hint tokens, then as much of the end of the previous final text
// as still fits in `capacity`.
Tokens prompt(const Tokens& hints, const Tokens& previous, std::size_t capacity);

} // namespace PromptBudget
} // namespace kivo
