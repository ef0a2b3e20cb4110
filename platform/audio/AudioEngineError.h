#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// A capture failure; the message is what the user is shown.
class AudioEngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kivo
