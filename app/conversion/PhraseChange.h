#pragma once

#include <cstdint>
#include <string>

namespace kivo {

// One spoken phrase the written-Chinese preparation replaced before the model saw the text.
struct PhraseChange {
    std::string from;
    std::string to;
    std::int64_t utf16Location = 0;
    friend bool operator==(const PhraseChange&, const PhraseChange&) = default;
};

} // namespace kivo
