#pragma once

#include <cstdint>
#include <vector>

namespace kivo {

// Where the time of one response went, for benchmarks.
struct GenerationTimings {
    int promptTokens = 0;       // tokens of the whole prompt
    int reusedTokens = 0;       // of those, taken from a kept state instead of evaluated
    double promptSeconds = 0.0; // context set-up and prompt evaluation
    int generatedTokens = 0;    // tokens chosen, the end of turn included
    double generationSeconds = 0.0;
    int draftedTokens = 0;                  // guessed ahead and evaluated
    int acceptedDraftTokens = 0;            // of those, the ones greedy decoding agreed with
    std::vector<std::int32_t> answerTokens; // the answer, the end of turn left out
};

} // namespace kivo
