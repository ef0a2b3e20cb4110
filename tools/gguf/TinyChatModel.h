#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivo {

// A tiny llama-architecture GGUF chat model for tests and benchmarks: two layers, 64-wide,
// a byte-fallback vocabulary that tokenizes any UTF-8 (one token per byte) and a ChatML
// template. The transformer blocks add nothing to the residual stream, so the next token
// depends only on the current one; the output rows are arranged so that greedy decoding
// under the JSON grammar writes a predictable answer. The recall style alone gives the first
// block one attention head, so that its answer tells whether a marker was anywhere before.
struct TinyChatModel {
    enum class Style {
        letter,  // answers {"text":"a"}
        blank,   // answers a single space as text, which reads as an empty result
        runaway, // writes "aaaa…" and never closes the string
        recall,  // answers {"text":"b"} when a "J" came earlier in the conversation, else "a"
    };

    Style style = Style::letter;
    std::uint32_t contextLength = 8192;
    std::uint32_t seed = 7;
    std::uint32_t layers = 2;
    // Metadata written over the model's own, "KEY=TYPE:VALUE" with TYPE u32, i32, u64, f32, str
    // or u32s (a comma-separated array; f32 also takes nan and inf): broken models for the checks that must refuse
    // them.
    std::vector<std::string> overrides;

    static Style styleNamed(const std::string& name);

    // Writes the model; throws std::runtime_error when the file cannot be written.
    void write(const std::string& path) const;
};

} // namespace kivo
