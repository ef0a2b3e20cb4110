#pragma once

#include <cstdint>
#include <string>

namespace kivo {

// A qwen2-architecture GGUF chat model of a real Qwen2.5 size with random weights, for timing
// the runner: evaluation time does not depend on the weight values. It carries the real Qwen
// BPE vocabulary and merges (from a tokenizer.json) and a ChatML template, so prompts have
// their real token counts. Quantised like a Q4_K_M (or Q4_0) file with the runtime's own
// quantisation.
struct QwenShapedModel {
    struct Shape {
        const char* name;
        std::uint32_t embedding;
        std::uint32_t layers;
        std::uint32_t feedForward;
        std::uint32_t heads;
        std::uint32_t kvHeads;
    };
    // "0.5b", "1.5b" or "3b"; throws std::invalid_argument otherwise.
    static Shape shapeNamed(const std::string& name);

    Shape shape = shapeNamed("1.5b");
    // The tokenizer.json of the Qwen family. Without one the vocabulary has the real size but
    // only byte pieces: for timing token by token, not for tokenizing text.
    std::string tokenizerJson;
    std::uint32_t seed = 7;
    // "q4_k_m" or "q4_0": the two 4-bit files the model makers publish.
    std::string fileType = "q4_k_m";

    // Writes the model to path (through path + ".partial", renamed when complete). Throws
    // std::runtime_error on failure.
    void write(const std::string& path) const;
};

} // namespace kivo
