#pragma once

#include <optional>
#include <string>

namespace kivo {

// What the panel's status says when a model is missing or does not load: a sentence saying what
// happened and what to do, and the particulars (files searched, the runtime's own reason) for
// the tooltip, in the interface language. The status itself then offers the Models window (ModelsLink).
namespace ModelAdvice {

struct Advice {
    std::string status;
    std::string details;
};

// No usable speech model: none installed, or the file there is not a multilingual whisper model.
Advice speechMissing();
// The speech model was found but did not load; `failure` is the recogniser's own text.
Advice speechBroken(const std::string& failure);
// Whether a recogniser failure is about the model file (see WhisperModel).
bool isSpeechModelFailure(const std::string& failure);
// `detail` is the runtime's reason, e.g. "modelNotFound: no file at /…/language-model.gguf".
Advice languageUnavailable(const std::string& detail);
// For the idle status: which models are not installed yet, or nothing when both are.
std::optional<Advice> missingAtStart();
// The way out, shown on its own line under any of the above.
std::string openModelsAction();

} // namespace ModelAdvice
} // namespace kivo
