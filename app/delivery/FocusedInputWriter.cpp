#include "app/delivery/FocusedInputWriter.h"

#include "platform/text/Graphemes.h"

#include <QChar>

namespace kivo::FocusedInputWriter {

namespace {

const char* flag(bool value)
{
    return value ? "true" : "false";
}

} // namespace

Delays defaultVerificationDelays()
{
    using std::chrono::milliseconds;
    return {milliseconds(50), milliseconds(100), milliseconds(200), milliseconds(400)};
}

bool selectionIsWhole(const std::u16string& text, const TextRange& selection)
{
    const auto size = static_cast<std::int64_t>(text.size());
    if (selection.location < 0 || selection.length < 0 || selection.location > size ||
        selection.length > size - selection.location) {
        return false;
    }
    return Graphemes::isBoundary(text, selection.location) && Graphemes::isBoundary(text, selection.end());
}

bool usesPaste(const InputSnapshot& snapshot)
{
    return snapshot.canPaste &&
           (snapshot.prefersPaste || !(snapshot.canReplaceSelection || snapshot.canReplacePlainValue));
}

std::string routeLine(const InputSnapshot& snapshot, bool paste)
{
    return std::string("route=") + (paste ? "paste" : "direct") +
           " selectedWritable=" + flag(snapshot.canReplaceSelection) +
           " valueWritable=" + flag(snapshot.canReplacePlainValue) + " paste=" + flag(snapshot.canPaste);
}

std::string writeLine(InputWriteStatus status)
{
    return "write=" + std::string(rawValue(status));
}

std::string readbackLine(std::int64_t readback, std::int64_t expected)
{
    return "readback=" + std::to_string(readback) + " expected=" + std::to_string(expected);
}

bool readBackMatches(const std::u16string& readback, const std::u16string& expected)
{
    constexpr char16_t zeroWidthNoBreak = 0xFEFF;
    constexpr char16_t emojiPresentation = 0xFE0F;
    if (readback == expected) {
        return true;
    }
    // Marks already in the input before the write are part of what is expected.
    std::size_t e = 0;
    for (std::size_t r = 0; r < readback.size(); ++r) {
        const char16_t unit = readback[r];
        if (e < expected.size() && expected[e] == unit) {
            ++e;
            continue;
        }
        const bool afterEmoji =
            r > 0 && (QChar::isLowSurrogate(readback[r - 1]) || readback[r - 1] == emojiPresentation);
        if (unit != zeroWidthNoBreak || !afterEmoji) {
            return false;
        }
    }
    return e == expected.size();
}

std::u16string expectedText(const std::u16string& text, const InputSnapshot& baseline)
{
    std::u16string expected = baseline.text;
    expected.replace(static_cast<std::size_t>(baseline.selection.location),
                     static_cast<std::size_t>(baseline.selection.length), text);
    return expected;
}

} // namespace kivo::FocusedInputWriter
