#pragma once

#include <string>
#include <string_view>

namespace kivo {

// Whisper invents text for quiet or noisy audio, mostly the sign-offs of the subtitled videos it
// was trained on. These rules decide when a decoded window's text is such an invention.
namespace HallucinationFilter {

// True when the whole text (ignoring spaces and punctuation) is one of the known inventions.
bool isKnownPhrase(std::string_view text);

// True when the decoder itself thought there was no speech: a high no-speech probability
// together with a low average token log-probability (the rule of the reference decoder).
bool isNoSpeech(double noSpeechProbability, double averageLogProbability);

// The text with a phrase repeated back to back more than twice cut down to one copy.
std::string collapsedRepeats(std::string_view text);

} // namespace HallucinationFilter
} // namespace kivo
