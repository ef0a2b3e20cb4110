#pragma once

#include "app/conversion/LiteralMasking.h"
#include "app/conversion/PhraseChange.h"
#include "protocol/RewriteRequest.h"

#include <string>
#include <vector>

namespace kivo {

// A conversion ready to send: what the runner reads, and what stays with the app to finish the
// answer (the literals masked in the source are put back afterwards).
struct PreparedRequest {
    RewriteRequest request;
    std::vector<LiteralMasking::Span> spans;
    std::string normalizedSource; // the source after phrase normalisation, before masking
    std::vector<PhraseChange> phraseChanges;
};

} // namespace kivo
