#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace kivo {

// Measures whisper's encoder on this computer for a speech model shape, with generated models
// of the shape's width (random weights, 5-bit as the recommended files): one and three encoder
// layers, so the cost per layer and the fixed cost give the full depth without writing the
// whole model. Runs at idle priority so it never slows what the user is doing.
namespace SpeechSpeedProbe {

// "base", "small", "large-v3-turbo".
std::vector<std::string> shapes();
// Encoder seconds per second of a 10-second window; the generated files go into `scratch`
// and are removed. Throws RecognizerError or std::runtime_error; returns 0 when stopped.
double encoderSecondsPerSecond(const std::string& shape, const std::filesystem::path& scratch, std::stop_token stop);
// Puts the calling thread, and the threads it starts from now on, at idle priority.
void runAtIdlePriority();

} // namespace SpeechSpeedProbe
} // namespace kivo
