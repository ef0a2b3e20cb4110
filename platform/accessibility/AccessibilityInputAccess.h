#pragma once

#include "app/delivery/FocusedInputAccess.h"
#include "platform/accessibility/AccessibleElement.h"
#include "platform/keys/SyntheticKeyboard.h"
#include "platform/pasteboard/InputPasteboardLease.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The focused text input of the frontmost other application, read and written over AT-SPI;
// the paste route borrows the clipboard and posts Control+V. One instance per delivery, used
// on the main thread only. No call throws: failures become diagnostic lines and outcomes.
class AccessibilityInputAccess : public FocusedInputAccess<AccessibleElement> {
public:
    static constexpr std::size_t valueLimit = 1'000'000;  // UTF-8 bytes
    static constexpr std::size_t diagnosticLimit = 24;
    static constexpr int webAncestorLimit = 16;
    static constexpr int callTimeoutMs = 300;
    // Our own application on the bus, besides this process.
    static constexpr const char* ownIdentifier = "local.kivo.afm-trial";

    AccessibilityInputAccess();

    bool isTrusted() override;
    std::optional<AccessibleElement> focusedTarget() override;
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override;
    InputWriteStatus replaceSelection(const std::u16string& text, const AccessibleElement& target) override;
    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                       const AccessibleElement& target) override;
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot& original) override;
    void finishPaste(bool confirmed) override;
    void recordDiagnostic(const std::string& line) override;

    const std::vector<std::string>& diagnostics() const { return diagnostics_; }
    // The element itself, or the editable text inside it, when it may be written into.
    std::optional<AccessibleElement> inputTarget(const AccessibleElement& element);
    bool isWebInput(const AccessibleElement& element);

private:
    std::optional<AccessibleElement> frontmostWindow();
    std::optional<AccessibleElement> focusedDescendant(const AccessibleElement& window);
    // Qt counts offsets in UTF-16 units, GTK and the others in code points.
    bool countsUtf16(const AccessibleElement& element);
    std::optional<std::u16string> value(const AccessibleElement& element);
    std::optional<TextRange> selection(const AccessibleElement& element, const std::u16string& text);
    bool writable(const AccessibleElement& element);
    bool isComboBox(const AccessibleElement& element);
    bool stillMatches(const AccessibleElement& target, const InputSnapshot& original);
    void recordError(const char* attribute, std::int64_t number);

    InputPasteboardLease clipboard_;
    SyntheticKeyboard keyboard_;
    std::vector<std::string> diagnostics_;
    std::map<std::string, bool> utf16Applications_;
    bool pastePosted_ = false;
};

} // namespace kivo
