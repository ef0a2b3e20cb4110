#pragma once

#include "app/delivery/InputSnapshot.h"
#include "app/delivery/InputWriteStatus.h"

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>

namespace kivo {

// Everything the insertion needs from the platform. `Target` names one input element; two
// targets compare equal when they denote the same element. All calls happen on the main thread.
template <std::equality_comparable TargetType>
class FocusedInputAccess {
public:
    using Target = TargetType;

    virtual ~FocusedInputAccess() = default;

    virtual bool isTrusted() = 0;
    // The focused, writable text input of the frontmost other application.
    virtual std::optional<Target> focusedTarget() = 0;
    virtual std::optional<InputSnapshot> snapshot(const Target& target) = 0;
    virtual InputWriteStatus replaceSelection(const std::u16string& text, const Target& target) = 0;
    // Sets the whole value, then a caret at UTF-16 offset `caret`.
    virtual InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                               const Target& target) = 0;
    // Puts `text` on the clipboard and posts one paste keystroke if the target still matches
    // `original`; the clipboard stays borrowed until finishPaste.
    virtual InputWriteStatus pasteOnce(const std::u16string& text, const Target& target,
                                       const InputSnapshot& original) = 0;
    // Ends the borrow of the last pasteOnce; only a confirmed paste gives the clipboard back.
    virtual void finishPaste(bool confirmed) = 0;
    virtual void recordDiagnostic(const std::string& line) { (void)line; }
    // After focusedTarget found none: another application has the keyboard focus but offers no
    // text input whose content can be checked (an editable web region, a terminal).
    virtual bool focusWithoutCheckableInput() { return false; }
    // After focusedTarget found none: the focus is in a password field, which is never written.
    virtual bool focusIsPassword() { return false; }
};

} // namespace kivo
