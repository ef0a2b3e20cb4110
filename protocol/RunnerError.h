#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// The errors of the runner itself. Each renders the three error texts of the reply.
class RunnerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // what() is the localized description

    // Fully qualified name of the error's type, e.g. "rewrite_runner.Run.ProbeError".
    virtual std::string typeName() const = 0;
    // Type-qualified case and payload, e.g. ProbeError.unavailable("…").
    virtual std::string debugDescription() const = 0;
};

} // namespace kivo
