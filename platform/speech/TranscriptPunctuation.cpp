#include "platform/speech/TranscriptPunctuation.h"

#include "platform/text/Utf8Text.h"

#include <unicode/uchar.h>

#include <cstdint>
#include <vector>

namespace kivo::TranscriptPunctuation {

namespace {

using Character = Utf8Text::CodePoint;

// Marks that end or split sentences; everything else (%, @, /, #, &, quotes inside words...)
// belongs to the token it touches.
bool isSentenceMark(UChar32 c)
{
    switch (c) {
    case '.':
    case ',':
    case ':':
    case ';':
    case '!':
    case '?': return true;
    default: break;
    }
    // Full-width and CJK sentence marks, dashes, brackets and quotation marks never sit inside
    // a literal.
    const auto type = u_charType(c);
    if (c >= 0x3000 && c <= 0x303F) {
        return u_ispunct(c);
    }
    if (c >= 0xFF00 && c <= 0xFFEF) {
        return u_ispunct(c) && c != 0xFF05 && c != 0xFF20; // keep ％ and ＠
    }
    return type == U_INITIAL_PUNCTUATION || type == U_FINAL_PUNCTUATION || c == 0x2026;
}

bool isWordCharacter(UChar32 c)
{
    return c > 0 && (u_isalnum(c) || u_charType(c) == U_OTHER_LETTER);
}

// ASCII marks between two letters or digits are inside a token: "3:30", "kivo.hk", "1,000".
bool insideToken(const std::vector<Character>& text, std::size_t at)
{
    const UChar32 c = text[at].value;
    if (c >= 0x80 || at == 0 || at + 1 >= text.size()) {
        return false;
    }
    const UChar32 before = text[at - 1].value;
    const UChar32 after = text[at + 1].value;
    // Between two CJK characters an ASCII comma or full stop is sentence punctuation.
    const auto ascii = [](UChar32 value) { return value < 0x80; };
    return isWordCharacter(before) && isWordCharacter(after) && (ascii(before) || ascii(after));
}

} // namespace

std::vector<std::string> withoutSentencePunctuation(const std::vector<std::string>& pieces)
{
    std::vector<Character> characters;
    std::vector<std::size_t> pieceOf;
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        const std::string& text = pieces[piece];
        for (const Character& character : Utf8Text::codePoints(text)) {
            characters.push_back(character);
            pieceOf.push_back(piece);
        }
    }
    std::vector<std::string> out(pieces.size());
    for (std::size_t at = 0; at < characters.size(); ++at) {
        const auto& character = characters[at];
        if (character.value >= 0 && isSentenceMark(character.value) && !insideToken(characters, at)) {
            continue;
        }
        out[pieceOf[at]].append(pieces[pieceOf[at]], character.begin, character.length);
    }
    return out;
}

std::string withoutSentencePunctuation(std::string_view text)
{
    return withoutSentencePunctuation(std::vector<std::string>{std::string(text)}).front();
}

} // namespace kivo::TranscriptPunctuation
