#pragma once

#include "app/delivery/FocusedInputAccess.h"
#include "platform/accessibility/AccessibleElement.h"
#include "platform/keys/KeyboardFocus.h"
#include "platform/keys/SyntheticKeyboard.h"
#include "platform/pasteboard/InputPasteboardLease.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The focused text input of the frontmost other application, read and written over AT-SPI;
// the paste route borrows the clipboard and posts Control+V. One instance per delivery, made
// and destroyed on the main thread, which owns the clipboard; its calls may come from one
// other thread, which then waits for the main thread's clipboard work and for the AT-SPI
// calls on the accessibility thread (each bounded by AccessibilityThread::callLimit). No call
// throws: failures become diagnostic lines and outcomes.
class AccessibilityInputAccess : public FocusedInputAccess<AccessibleElement> {
public:
    static constexpr std::size_t valueLimit = 1'000'000; // UTF-8 bytes
    static constexpr std::size_t diagnosticLimit = 24;
    static constexpr int webAncestorLimit = 16;
    static constexpr int ancestorLimit = 64;
    static constexpr std::size_t lastFoundLimit = 64;
    // How long one search for the focused input may take.
    static constexpr std::chrono::milliseconds searchLimit{4000};
    // Our own application on the bus, besides this process.
    static constexpr const char* ownIdentifier = "local.kivo.afm-trial";

    AccessibilityInputAccess();
    ~AccessibilityInputAccess() override;
    AccessibilityInputAccess(const AccessibilityInputAccess&) = delete;
    AccessibilityInputAccess& operator=(const AccessibilityInputAccess&) = delete;

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
    bool focusWithoutCheckableInput() override { return uncheckable_; }
    bool focusIsPassword() override { return password_; }

    std::vector<std::string> diagnostics() const;
    // The element itself, or the editable text inside it, when it may be written into.
    std::optional<AccessibleElement> inputTarget(const AccessibleElement& element);
    bool isWebInput(const AccessibleElement& element);

    // The part that talks to the bus; shared with the accessibility thread, which may finish
    // a call after this object gave up waiting for it.
    class Reader;

private:
    bool stillMatches(const AccessibleElement& target, const InputSnapshot& original);
    // Runs `work` on the clipboard's thread, waiting for it when called from another.
    template <class Work>
    auto withClipboard(Work work) -> decltype(work());

    std::shared_ptr<Reader> reader_;
    InputPasteboardLease clipboard_;
    SyntheticKeyboard keyboard_;
    KeyboardFocus keyboardFocus_;
    bool pastePosted_ = false;
    bool uncheckable_ = false;
    bool password_ = false;
};

} // namespace kivo
