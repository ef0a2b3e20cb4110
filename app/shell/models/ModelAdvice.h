#pragma once

#include <string>

namespace kivo {

// What the panel's status says when a model is missing or does not load: which model, the
// first folder the recorder and the runner search, and that clicking opens the Models window.
namespace ModelAdvice {

std::string speechMissing(bool chinese);
// The speech model was found but did not load: the recogniser's own text, and the way out.
std::string speechBroken(const std::string& failure, bool chinese);
// Whether a recogniser failure is about the model file (see WhisperModel).
bool isSpeechModelFailure(const std::string& failure);
// `detail` is the runtime's reason, e.g. "modelNotFound: no file at /…/language-model.gguf".
std::string languageUnavailable(const std::string& detail, bool chinese);

} // namespace ModelAdvice
} // namespace kivo
