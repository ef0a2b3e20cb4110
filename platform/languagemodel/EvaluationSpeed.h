#pragma once

#include <filesystem>
#include <stop_token>

namespace kivo {

// How long the runtime takes on this computer to read a prompt and write an answer with a
// model file, as a conversion does: the prompt in batches, the answer one token at a time.
// The tokens are arbitrary; evaluation time does not depend on them or on the weights.
struct EvaluationSpeed {
    double readingSeconds = 0.0;
    double writingSeconds = 0.0;

    // With a thread per physical core, as a conversion with a full-size model has, after a
    // warm-up that brings the file into memory. Throws LanguageModelError; returns zeros when
    // stopped.
    static EvaluationSpeed measure(const std::filesystem::path& model, int promptTokens, int answerTokens,
                                   std::stop_token stop);
};

} // namespace kivo
