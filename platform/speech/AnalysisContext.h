#pragma once

#include <map>
#include <string>
#include <vector>

namespace kivo {

// Biasing information for an analyzer: contextual strings by tag ("general" is the one used).
struct AnalysisContext {
    static constexpr const char* generalTag = "general";
    std::map<std::string, std::vector<std::string>> contextualStrings;
};

} // namespace kivo
