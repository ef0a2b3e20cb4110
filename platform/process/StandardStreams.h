#pragma once

#include <string>

namespace kivo::StandardStreams {

// Everything readable from the descriptor until end of file (or a read error).
std::string readAll(int descriptor);

// Writes all of `data`, retrying after interruptions; stops quietly when the reader is gone.
void writeAll(int descriptor, const std::string& data);

} // namespace kivo::StandardStreams
