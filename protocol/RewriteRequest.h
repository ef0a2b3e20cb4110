#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// One conversion request, as the app writes it to the runner's standard input: one JSON object
// whose keys equal the field names. Other keys are ignored, so an older app still works.
struct RewriteRequest {
    std::string source;
    std::string sourceLocale;
    std::string locale;
    std::string instructions;
    std::optional<std::string> taskPrefix; // absent or null: no task line

    // Compact JSON with sorted keys; throws nlohmann::json::type_error for text that is not UTF-8.
    std::string json() const;

    // The whole input must be one JSON object in UTF-8 holding the four required string keys;
    // "taskPrefix" may be absent, null or a string. Throws DecodingError otherwise.
    static RewriteRequest decode(std::string_view input);

    bool operator==(const RewriteRequest&) const = default;
};

} // namespace kivo
