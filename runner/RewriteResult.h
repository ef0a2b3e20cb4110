#pragma once

#include "platform/languagemodel/GenerationSchema.h"

#include <nlohmann/json.hpp>

#include <string>

namespace kivo {

// The record the model generates: one string field, "text".
namespace RewriteResult {

inline GenerationSchema schema()
{
    return GenerationSchema{"RewriteResult", {"text"}};
}

// The record as the model writes it for `text`.
inline std::string record(const std::string& text)
{
    return nlohmann::json{{"text", text}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace RewriteResult
} // namespace kivo
