#pragma once

#include "app/speech/PreparedSpeech.h"
#include "app/speech/SpeechSettings.h"
#include "platform/speech/Recognizer.h"

#include <stop_token>

namespace kivo {

// Chooses, configures and starts the recogniser for "zh-HK". Throws RecorderFailure
// (unavailable, localeNotInstalled, noAudioFormat), the recogniser's own errors unchanged, or
// CancellationError when `stop` is requested at a checkpoint. A failure after the analyzer
// exists finishes the input stream and cancels the analyzer before it is passed on.
PreparedSpeech prepareSpeech(const SpeechSettings& settings, Recognizer& recognizer, std::stop_token stop);

} // namespace kivo
