#pragma once

namespace kivo {

// Where the time of one response went, for benchmarks.
struct GenerationTimings {
    int promptTokens = 0;          // tokens of the whole prompt
    int reusedTokens = 0;          // of those, taken from a kept state instead of evaluated
    double promptSeconds = 0.0;    // context set-up and prompt evaluation
    int generatedTokens = 0;       // tokens chosen, the end of turn included
    double generationSeconds = 0.0;
};

}  // namespace kivo
