#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kivo {

// How a response is generated. Sampling is always greedy, so a run is repeatable.
struct GenerationOptions {
    int maximumResponseTokens = 2048;
    bool includeSchemaInPrompt = true;
    // Bytes at the start of the prompt that are the same from one request to the next and hold
    // nothing the user wrote (a task line, the opening of the data block). The model's state
    // after them may be kept for later requests.
    std::size_t sharedPromptBytes = 0;
    // Most tokens guessed ahead from the user's message and evaluated at once; each guess is
    // kept only where greedy decoding agrees, so the answer is the same up to rounding. 0 turns
    // it off.
    int draftTokens = 8;
    // Tokens besides the user's message that the answer may repeat, drafted from in the same
    // way but never shown to the model.
    std::vector<std::int32_t> draftSource;
    // Called after each token of the answer is written, with the count so far (drafted tokens
    // that stand count one by one).
    std::function<void(int written)> onWritten;
};

} // namespace kivo
