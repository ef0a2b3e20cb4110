#include "app/conversion/WrittenExamples.h"

#include "app/conversion/ResourceFile.h"

#include <nlohmann/json.hpp>

namespace kivo::WrittenExamples {

std::vector<Example> decodeExamples(const std::string& json, const std::filesystem::path& origin)
{
    const auto parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded()) {
        throw ResourceFile::Error(ResourceFile::Error::Code::badFormat, origin, "not valid JSON");
    }
    if (!parsed.is_array()) {
        throw ResourceFile::Error(ResourceFile::Error::Code::badFormat, origin, "expected an array of examples");
    }
    std::vector<Example> examples;
    examples.reserve(parsed.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const auto& item = parsed[i];
        for (const char* key : {"source", "text"}) {
            if (!item.is_object() || !item.contains(key) || !item[key].is_string()) {
                throw ResourceFile::Error(ResourceFile::Error::Code::badFormat, origin,
                                          "example " + std::to_string(i) + " needs a string \"" + key + "\"");
            }
        }
        examples.push_back({item["source"].get<std::string>(), item["text"].get<std::string>()});
    }
    return examples;
}

} // namespace kivo::WrittenExamples
