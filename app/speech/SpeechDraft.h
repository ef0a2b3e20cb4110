#pragma once

#include "platform/text/TextRange.h"

#include <QString>

namespace kivo {

// The editor as it was when a recording started, put back when the recording ends without text.
struct SpeechDraft {
    QString source;
    QString result;
    TextRange selection; // of the Original editor, in UTF-16 units
    bool canCopyResult = false;
};

} // namespace kivo
