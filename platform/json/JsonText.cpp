#include "platform/json/JsonText.h"

namespace kivo::JsonText {

std::string compact(const nlohmann::json& value)
{
    // nlohmann::json keeps object keys in a std::map, so they come out sorted.
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    // A '/' byte can only occur inside a string, and UTF-8 continuation bytes never equal it.
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '/') {
            escaped += "\\/";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace kivo::JsonText
