#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kivo::WrittenExamples {

// One worked example of "v8-examples.json": a spoken-Cantonese source and its written form.
struct Example {
    std::string source;
    std::string text;
    friend bool operator==(const Example&, const Example&) = default;
};

// Decodes a JSON array of {"source", "text"} objects (both strings, both required, other keys
// ignored). Throws ResourceFile::Error (badFormat) naming `origin` when the JSON does not fit.
std::vector<Example> decodeExamples(const std::string& json, const std::filesystem::path& origin);

} // namespace kivo::WrittenExamples
