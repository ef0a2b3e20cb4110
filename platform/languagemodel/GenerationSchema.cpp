#include "platform/languagemodel/GenerationSchema.h"

#include <nlohmann/json.hpp>

namespace kivo {

std::string GenerationSchema::jsonSchemaText() const
{
    nlohmann::ordered_json properties = nlohmann::ordered_json::object();
    nlohmann::ordered_json required = nlohmann::ordered_json::array();
    for (const std::string& name : stringProperties) {
        properties[name] = {{"type", "string"}};
        required.push_back(name);
    }
    nlohmann::ordered_json schema = {
        {"type", "object"},
        {"title", typeName},
        {"properties", properties},
        {"required", required},
        {"additionalProperties", false},
    };
    return schema.dump();
}

std::string GenerationSchema::promptText() const
{
    return "\n\nRespond with one JSON object that follows this JSON schema:\n" + jsonSchemaText();
}

} // namespace kivo
