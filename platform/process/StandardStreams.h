#pragma once

#include <string>

namespace kivo::StandardStreams {

// Everything readable from the descriptor until end of file (or a read error).
std::string readAll(int descriptor);

// Writes all of `data`, retrying after interruptions; stops when the reader is gone, and then
// returns false.
bool writeAll(int descriptor, const std::string& data);

} // namespace kivo::StandardStreams
