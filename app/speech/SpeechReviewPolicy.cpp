#include "app/speech/SpeechReviewPolicy.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Utf16.h"

#include <algorithm>
#include <array>

namespace kivo::SpeechReviewPolicy {
namespace {

constexpr std::u32string_view chineseNumerals = U"零〇一二兩两三四五六七八九十百千萬万億亿兆點点";

std::u32string scalars(const std::string& text)
{
    const std::u16string utf16 = Utf16::fromUtf8(text);
    std::u32string out;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(c);
    }
    return out;
}

// One or more of 呃, 嗯, 啊, er, uh, um; the Latin ones in any letter case. No sound is a prefix
// of another, so reading greedily from the left decides it.
bool onlyHesitation(std::u32string_view text)
{
    constexpr std::array<std::u32string_view, 6> sounds{U"呃", U"嗯", U"啊", U"er", U"uh", U"um"};
    std::u32string folded(text);
    for (char32_t& c : folded) {
        if (c >= U'A' && c <= U'Z') {
            c = c - U'A' + U'a';
        }
    }
    std::u32string_view rest = folded;
    while (!rest.empty()) {
        const auto sound =
            std::find_if(sounds.begin(), sounds.end(), [&](std::u32string_view s) { return rest.starts_with(s); });
        if (sound == sounds.end()) {
            return false;
        }
        rest.remove_prefix(sound->size());
    }
    return true;
}

} // namespace

std::string_view rawValue(Reason reason)
{
    switch (reason) {
    case Reason::empty: return "empty";
    case Reason::numbersOnly: return "numbersOnly";
    case Reason::hesitationOnly: return "hesitationOnly";
    }
    return "empty";
}

std::optional<Reason> reasonFromRawValue(std::string_view raw)
{
    for (Reason reason : {Reason::empty, Reason::numbersOnly, Reason::hesitationOnly}) {
        if (rawValue(reason) == raw) {
            return reason;
        }
    }
    return std::nullopt;
}

std::optional<Reason> reason(const std::string& text)
{
    std::u32string compact;
    for (char32_t c : scalars(text)) {
        if (!CharacterClass::isWhitespaceOrNewline(c) && !CharacterClass::isPunctuation(c)) {
            compact.push_back(c);
        }
    }
    if (compact.empty()) {
        return Reason::empty;
    }
    const auto all = [&](auto predicate) { return std::all_of(compact.begin(), compact.end(), predicate); };
    if (all([](char32_t c) { return CharacterClass::isDecimalDigit(c); }) ||
        all([](char32_t c) { return chineseNumerals.find(c) != std::u32string_view::npos; })) {
        return Reason::numbersOnly;
    }
    if (onlyHesitation(compact)) {
        return Reason::hesitationOnly;
    }
    return std::nullopt;
}

} // namespace kivo::SpeechReviewPolicy
