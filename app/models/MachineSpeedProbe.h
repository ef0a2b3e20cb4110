#pragma once

#include "app/models/MachineSpeed.h"

#include <functional>
#include <stop_token>
#include <string>

namespace kivo {

// This computer's measured speed: the cached measurement when it was made on this processor
// with these runtimes, otherwise a new one (a few seconds to a minute), saved for next time.
namespace MachineSpeedProbe {

using Progress = std::function<void(const std::string& shape)>;

std::string runtime();
// Measures on a thread of its own at idle priority. Throws RecognizerError or
// std::runtime_error when a generated model cannot be written or run.
MachineSpeed obtain(bool measureAgain, const Progress& progress = {}, std::stop_token stop = {});

} // namespace MachineSpeedProbe
} // namespace kivo
