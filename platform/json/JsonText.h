#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace kivo::JsonText {

// Compact JSON with object keys in sorted (byte) order, non-ASCII text as UTF-8 and every "/"
// written as "\/". Throws nlohmann::json::type_error for strings that are not valid UTF-8.
std::string compact(const nlohmann::json& value);

} // namespace kivo::JsonText
