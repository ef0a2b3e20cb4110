#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kivo::TextPieces {

// Cuts a UTF-8 text too long for one conversion into consecutive pieces of at most `limit`
// code points each, joined back they are the text byte for byte. A piece ends after a
// paragraph break where one falls within the limit, else after a sentence's end (with its
// closing quotes and the spaces after it), else, for one sentence longer than the limit, at
// the limit. A text within the limit is one piece, unchanged.
std::vector<std::string> split(const std::string& text, std::size_t limit);

// Bytes of the longest start of `text` that ends where a piece may: after a paragraph break
// or a sentence's end (with its closing quotes and the spaces after it). 0 when there is none.
std::size_t wholeSentences(const std::string& text);

} // namespace kivo::TextPieces
