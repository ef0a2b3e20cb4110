#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// The character conversion could not be set up (its dictionaries are missing or damaged).
class ChineseScriptError : public std::runtime_error {
public:
    explicit ChineseScriptError(const std::string& what) : std::runtime_error(what) {}
};

} // namespace kivo
