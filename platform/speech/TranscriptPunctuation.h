#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Punctuation for transcribers that were asked for text without it.
namespace TranscriptPunctuation {

// The text without sentence punctuation between words. Marks inside a token ("3:30", "1,000",
// "www.kivo.hk", "chan@kivo.hk", "1/2", "10%", "don't") are part of what was said and stay.
std::string withoutSentencePunctuation(std::string_view text);

// The same over text split into pieces (a decoder's tokens): a mark is judged by its neighbours
// in the whole text, and each piece keeps what remains of it.
std::vector<std::string> withoutSentencePunctuation(const std::vector<std::string>& pieces);

} // namespace TranscriptPunctuation
} // namespace kivo
