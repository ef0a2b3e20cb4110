#include "protocol/RewriteRequest.h"

#include "protocol/DecodingError.h"

#include <nlohmann/json.hpp>

namespace kivo {
namespace {

using Case = DecodingError::Case;

std::string found(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null: return "null";
    case nlohmann::json::value_t::object: return "a dictionary";
    case nlohmann::json::value_t::array: return "an array";
    case nlohmann::json::value_t::string: return "a string";
    case nlohmann::json::value_t::boolean: return "a boolean";
    default: return "a number";
    }
}

std::string requiredString(const nlohmann::json& object, const char* key)
{
    const auto field = object.find(key);
    if (field == object.end()) {
        throw DecodingError(Case::keyNotFound, key, "No value associated with key \"" + std::string(key) + "\".");
    }
    if (field->is_null()) {
        throw DecodingError(Case::valueNotFound, key, "Expected String value but found null instead.");
    }
    if (!field->is_string()) {
        throw DecodingError(Case::typeMismatch, key,
                            "Expected to decode String but found " + found(*field) + " instead.");
    }
    return field->get<std::string>();
}

} // namespace

std::string RewriteRequest::json() const
{
    nlohmann::json object = {
        {"source", source},
        {"sourceLocale", sourceLocale},
        {"locale", locale},
        {"instructions", instructions},
    };
    if (taskPrefix) {
        object["taskPrefix"] = *taskPrefix;
    }
    return object.dump();
}

RewriteRequest RewriteRequest::decode(std::string_view input)
{
    // nlohmann's parser rejects ill-formed UTF-8 and lone surrogate escapes inside strings,
    // so every decoded string is valid UTF-8.
    nlohmann::json document = nlohmann::json::parse(input.begin(), input.end(), nullptr, false);
    if (document.is_discarded()) {
        throw DecodingError(Case::dataCorrupted, "", "The given data was not valid JSON.");
    }
    if (!document.is_object()) {
        throw DecodingError(Case::typeMismatch, "",
                            "Expected to decode Dictionary<String, Any> but found " + found(document) + " instead.");
    }
    RewriteRequest request;
    request.source = requiredString(document, "source");
    request.sourceLocale = requiredString(document, "sourceLocale");
    request.locale = requiredString(document, "locale");
    request.instructions = requiredString(document, "instructions");
    if (const auto prefix = document.find("taskPrefix"); prefix != document.end() && !prefix->is_null()) {
        if (!prefix->is_string()) {
            throw DecodingError(Case::typeMismatch, "taskPrefix",
                                "Expected to decode String but found " + found(*prefix) + " instead.");
        }
        request.taskPrefix = prefix->get<std::string>();
    }
    return request;
}

} // namespace kivo
