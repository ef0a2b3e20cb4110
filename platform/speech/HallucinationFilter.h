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

// Whether a window's text is an invention: the decoder doubted there was speech at all, or the
// text is a known invention and the decoder was at least unsure. Said clearly, "音樂" or
// "多謝收睇" on their own are kept.
bool isInvention(std::string_view text, double noSpeechProbability, double averageLogProbability);

// The text with a decoding loop cut down to one copy: a unit of two or more different
// characters holding a letter and no digit, repeated back to back at least four times over at
// least 16 characters. Numbers and ordinary reduplication ("係係係", "哈哈哈哈") stay as they are.
std::string collapsedRepeats(std::string_view text);

} // namespace HallucinationFilter
} // namespace kivo
