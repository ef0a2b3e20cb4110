#pragma once

#include <map>
#include <string>
#include <vector>

namespace kivo {

// Biasing information for an analyzer: contextual strings by tag ("general" is the one used),
// and how long a stretch of audio may wait before it becomes final text.
struct AnalysisContext {
    static constexpr const char* generalTag = "general";
    std::map<std::string, std::vector<std::string>> contextualStrings;
    // Seconds; 0 leaves it to the recogniser. For a caller that acts on each final result as it
    // comes, such as converting it while the user goes on speaking.
    double longestWindow = 0.0;
};

} // namespace kivo
