#pragma once

#include "app/speech/SpeechDiagnostics.h"
#include "app/speech/SpeechEngine.h"

#include <optional>
#include <string>

namespace kivo {

// The two presentations of a recording's diagnostics, in the interface language.
namespace SpeechDetails {

// The line under the engine choice.
std::string infoLine(SpeechEngine selected, const std::optional<SpeechDiagnostics>& last);

// The text of the recognition details window; without diagnostics, the provisional text.
std::string text(const std::optional<SpeechDiagnostics>& diagnostics, const std::string& lastPartial);

} // namespace SpeechDetails
} // namespace kivo
