#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// A failure of the recogniser itself: model loading, decoding, conversion, misuse.
class RecognizerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kivo
