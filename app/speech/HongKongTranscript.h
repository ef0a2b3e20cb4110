#pragma once

#include "platform/speech/TranscriptionResult.h"

#include <string>
#include <vector>

namespace kivo {

// Models that decode as Mandarin ("zh") write Simplified characters as often as Traditional;
// their transcripts become Hong Kong Traditional before anyone sees them. Models that know
// "yue" write Traditional already.
namespace HongKongTranscript {

bool applies(const std::string& decodingLanguage, bool hongKongCharacters);

// Converts the runs and alternatives in place. The runs are converted as one text, so phrases
// that span runs convert as phrases, and split back where the character count allows.
void apply(TranscriptionResult& result, const std::vector<std::string>& protectedLiterals);

} // namespace HongKongTranscript
} // namespace kivo
