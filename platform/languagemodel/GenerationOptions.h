#pragma once

#include <cstddef>

namespace kivo {

// How a response is generated. Sampling is always greedy, so a run is repeatable.
struct GenerationOptions {
    int maximumResponseTokens = 2048;
    bool includeSchemaInPrompt = true;
    // Bytes at the start of the prompt that are the same from one request to the next and hold
    // nothing the user wrote (a task line, the opening of the data block). The model's state
    // after them may be kept for later requests.
    std::size_t sharedPromptBytes = 0;
};

}  // namespace kivo
