#pragma once

#include <optional>
#include <string>

namespace kivo {

// One conversion request as the app sends it on standard input. Keys equal the field names;
// other keys (such as "literalMapJSON") are ignored.
struct Request {
    std::string source;
    std::string sourceLocale;
    std::string locale;
    std::string instructions;
    std::optional<std::string> taskPrefix;  // absent or null: no task line
};

}  // namespace kivo
