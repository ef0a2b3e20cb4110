#pragma once

#include <stdexcept>

namespace kivo {

// Thrown by a speech operation whose caller stopped waiting for it.
class CancellationError : public std::runtime_error {
public:
    CancellationError() : std::runtime_error("The operation was cancelled.") {}
};

} // namespace kivo
