#pragma once

#include <string>

namespace kivo {

// The three texts of an error reply.
struct ErrorReport {
    std::string errorType;      // fully qualified type name
    std::string error;          // type-qualified case and payload
    std::string localizedError; // what the user is shown

    bool operator==(const ErrorReport&) const = default;
};

} // namespace kivo
