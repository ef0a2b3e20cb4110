#pragma once

#include <cstddef>

namespace kivo {

// How long a draft to check after each chosen token. On the CPU, evaluating n tokens together
// costs about 0.8 n single evaluations for n = 2 or 3 and 0.6 to 0.7 n from n = 4 (measured with
// draft_cost_benchmark), so a draft pays only when most of it agrees: drafts are 3 or 7 tokens
// (batches of 4 or 8 with the chosen token), grow while whole drafts agree, and after one that
// does not pay, drafting pauses for a number of tokens that doubles with each further failure.
// Where drafts keep failing, they cost a few percent; where the answer copies, they save.
class DraftPolicy {
public:
    static constexpr std::size_t shortestDraft = 3;
    static constexpr std::size_t firstPause = 8;
    static constexpr std::size_t longestPause = 64;

    // Drafts of at most `longestDraft` tokens (0: never).
    explicit DraftPolicy(std::size_t longestDraft);

    // Tokens to draft now, with room for at most `room` (0: evaluate the chosen token alone).
    // Called once per chosen token; a pause counts down here.
    std::size_t length(std::size_t room);

    // A draft of `drafted` tokens of which the first `agreed` stood. Drafts too short to pay
    // are not to be checked at all, so drafted is what length() asked for or less.
    void record(std::size_t drafted, std::size_t agreed);

    // The shortest draft worth checking (fewer tokens found are not evaluated).
    std::size_t shortest() const;

private:
    std::size_t longest_;
    std::size_t length_;
    std::size_t pause_ = 0; // tokens left before the next draft
    std::size_t nextPause_ = firstPause;
};

} // namespace kivo
