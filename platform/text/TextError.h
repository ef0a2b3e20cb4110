#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// Failure of the text layer: a pattern that does not compile, text that is not valid UTF-8,
// or an ICU service that is missing from the installed data.
class TextError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kivo
