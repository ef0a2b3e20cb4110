#pragma once

#include <map>
#include <string>

namespace kivo {

// The string-to-string map sent to the rewrite runner for one conversion.
using RequestDictionary = std::map<std::string, std::string>;

} // namespace kivo
