#pragma once

namespace kivo {

// How a response is generated. Sampling is always greedy, so a run is repeatable.
struct GenerationOptions {
    int maximumResponseTokens = 2048;
    bool includeSchemaInPrompt = true;
};

}  // namespace kivo
