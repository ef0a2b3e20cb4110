#pragma once

#include <exception>
#include <string>

namespace kivo {

// The three texts of an error reply.
struct ErrorReport {
    std::string errorType;       // fully qualified type name
    std::string error;           // type-qualified case and payload
    std::string localizedError;  // what the user is shown

    // Renders the runner's own errors, the language model layer's errors and, as a last
    // resort, any other exception.
    static ErrorReport of(const std::exception_ptr& failure);
};

}  // namespace kivo
