#pragma once

#include "app/delivery/FocusedInputAccess.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivo::test {

// A scripted field behind FocusedInputAccess that logs every call, so tests can see what the
// writer asked, in which order, and that it wrote at most once.
class RecordingInputAccess : public FocusedInputAccess<int> {
public:
    bool trusted = true;
    std::optional<int> focused = 7;
    bool uncheckable = false;
    bool password = false;
    // Characters the toolkit shows after what was written into the field (Gecko's U+FEFF).
    std::u16string readbackSuffix;
    std::optional<InputSnapshot> field;
    InputWriteStatus writeStatus = InputWriteStatus::accepted;
    // Read-backs after an accepted write that still show the old value; -1: the write never shows.
    int staleReadbacks = 0;
    // Called before each snapshot with the number of snapshots taken so far.
    std::function<void(RecordingInputAccess&, int)> beforeSnapshot;

    std::vector<std::string> calls;
    std::vector<std::string> diagnostics;
    int snapshots = 0;
    int writes = 0;
    std::vector<bool> finishedPastes;

    bool isTrusted() override
    {
        calls.push_back("isTrusted");
        return trusted;
    }

    std::optional<int> focusedTarget() override
    {
        calls.push_back("focusedTarget");
        return focused;
    }

    std::optional<InputSnapshot> snapshot(const int& target) override
    {
        calls.push_back("snapshot " + std::to_string(target));
        if (beforeSnapshot) {
            beforeSnapshot(*this, snapshots);
        }
        ++snapshots;
        // A write still pending when the input goes away never shows.
        if (field && pending_ && staleReadbacks >= 0 && staleReadbacks-- == 0) {
            field->text = *pending_ + readbackSuffix;
            pending_.reset();
        }
        return field;
    }

    InputWriteStatus replaceSelection(const std::u16string& text, const int&) override
    {
        calls.push_back("replaceSelection");
        return write(selectionReplacedBy(text));
    }

    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret, const int&) override
    {
        calls.push_back("replacePlainValue caret=" + std::to_string(caret));
        plainValue = value;
        return write(value);
    }

    InputWriteStatus pasteOnce(const std::u16string& text, const int&, const InputSnapshot& original) override
    {
        calls.push_back("pasteOnce");
        pasteOriginal = original;
        return write(selectionReplacedBy(text));
    }

    void finishPaste(bool confirmed) override
    {
        calls.push_back(confirmed ? "finishPaste confirmed" : "finishPaste unconfirmed");
        finishedPastes.push_back(confirmed);
    }

    void recordDiagnostic(const std::string& line) override { diagnostics.push_back(line); }
    bool focusWithoutCheckableInput() override { return uncheckable; }
    bool focusIsPassword() override { return password; }

    std::optional<std::u16string> plainValue;
    std::optional<InputSnapshot> pasteOriginal;

private:
    std::u16string selectionReplacedBy(const std::u16string& text) const
    {
        std::u16string value = field->text;
        value.replace(static_cast<std::size_t>(field->selection.location),
                      static_cast<std::size_t>(field->selection.length), text);
        return value;
    }

    InputWriteStatus write(const std::u16string& value)
    {
        ++writes;
        if (writeStatus == InputWriteStatus::accepted) {
            pending_ = value;
        }
        return writeStatus;
    }

    std::optional<std::u16string> pending_;
};

} // namespace kivo::test
