#pragma once

#include <map>
#include <string>

namespace kivo {

// A generated record: the JSON text exactly as the model wrote it, and its string properties.
struct GeneratedContent {
    std::string jsonString;
    std::map<std::string, std::string> properties;
};

} // namespace kivo
