#pragma once

#include "platform/text/TextRange.h"

#include <string>

namespace kivo {

// What a focused input holds and which writes it allows, read in one go.
struct InputSnapshot {
    std::u16string text;
    TextRange selection; // UTF-16 units; length 0 is a caret
    bool canReplaceSelection = false;
    bool canReplacePlainValue = false;
    bool canPaste = false;
    bool prefersPaste = false; // multi-line or web content

    friend bool operator==(const InputSnapshot&, const InputSnapshot&) = default;
};

} // namespace kivo
