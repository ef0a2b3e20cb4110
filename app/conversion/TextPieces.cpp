#include "app/conversion/TextPieces.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace kivo::TextPieces {
namespace {

// Byte offsets of the code points of a UTF-8 text, and its end.
std::vector<std::size_t> codePointStarts(const std::string& text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    starts.push_back(text.size());
    return starts;
}

bool isOneOf(std::string_view character, std::initializer_list<std::string_view> set)
{
    return std::find(set.begin(), set.end(), character) != set.end();
}

bool endsSentence(std::string_view c)
{
    return isOneOf(c, {"。", "！", "？", "；", "…"});
}

// ASCII marks end a sentence only before a space, so "3.5" or "v1.2" stays whole.
bool endsSentenceBefore(std::string_view c, std::string_view next)
{
    return isOneOf(c, {"!", "?", ";", "."}) && isOneOf(next, {" ", "\n", "\t"});
}

bool closes(std::string_view c)
{
    return isOneOf(c, {"」", "』", "）", "”", "’", ")", "\"", "'"});
}

bool isSpace(std::string_view c)
{
    return isOneOf(c, {" ", "\t", "\u3000"});
}

// Where a sentence whose mark is code point i ends: after further marks, closing quotes and
// spaces, never past limit. Nothing when i ends no sentence. at(index) is the code point there.
template <typename At>
std::optional<std::size_t> sentenceEnd(const At& at, std::size_t i, std::size_t limit)
{
    if (!endsSentence(at(i)) && !endsSentenceBefore(at(i), at(i + 1))) {
        return std::nullopt;
    }
    std::size_t cut = i + 1;
    while (cut < limit && (endsSentence(at(cut)) || closes(at(cut)))) {
        ++cut;
    }
    while (cut < limit && isSpace(at(cut))) {
        ++cut;
    }
    return cut;
}

} // namespace

std::vector<std::string> split(const std::string& text, std::size_t limit)
{
    const std::vector<std::size_t> starts = codePointStarts(text);
    const std::size_t count = starts.size() - 1;
    const auto at = [&](std::size_t index) {
        return std::string_view(text).substr(starts[index], starts[index + 1] - starts[index]);
    };
    limit = std::max<std::size_t>(limit, 1);

    std::vector<std::string> pieces;
    std::size_t begin = 0;
    while (count - begin > limit) {
        const std::size_t end = begin + limit; // the furthest cut allowed
        std::optional<std::size_t> paragraph;
        std::optional<std::size_t> sentence;
        for (std::size_t i = begin; i < end; ++i) {
            if (at(i) == "\n") {
                std::size_t cut = i + 1;
                while (cut < end && at(cut) == "\n") {
                    ++cut;
                }
                paragraph = cut;
            } else if (const auto cut = sentenceEnd(at, i, end)) { // i + 1 <= end < count
                sentence = cut;
            }
        }
        // A paragraph break is the better cut unless it leaves a piece far shorter than the
        // sentence end would.
        std::size_t cut = end;
        if (paragraph && (!sentence || *paragraph - begin >= (*sentence - begin) / 2)) {
            cut = *paragraph;
        } else if (sentence) {
            cut = *sentence;
        }
        pieces.push_back(text.substr(starts[begin], starts[cut] - starts[begin]));
        begin = cut;
    }
    pieces.push_back(text.substr(starts[begin]));
    return pieces;
}

std::size_t wholeSentences(const std::string& text)
{
    const std::vector<std::size_t> starts = codePointStarts(text);
    const std::size_t count = starts.size() - 1;
    const auto at = [&](std::size_t index) {
        return index < count ? std::string_view(text).substr(starts[index], starts[index + 1] - starts[index])
                             : std::string_view();
    };
    std::size_t whole = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (at(i) == "\n") {
            whole = i + 1;
        } else if (const auto cut = sentenceEnd(at, i, count)) {
            whole = *cut;
            i = *cut - 1;
        }
    }
    return starts[whole];
}

} // namespace kivo::TextPieces
