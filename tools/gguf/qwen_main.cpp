// kivo-qwen-gguf: writes a qwen2-architecture model of a real Qwen2.5 size with random
// weights and the real tokenizer, quantised to Q4_K_M, for timing the runner.
//   kivo-qwen-gguf OUTPUT --size 0.5b|1.5b|3b --tokenizer TOKENIZER.JSON [--seed N] [--type q4_k_m|q4_0]
#include "platform/process/HelpOption.h"
#include "tools/gguf/QwenShapedModel.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

int main(int argc, char** argv)
{
    if (kivo::HelpOption::answer(
            argc, argv,
            "usage: kivo-qwen-gguf OUTPUT --size 0.5b|1.5b|3b --tokenizer TOKENIZER.JSON [--seed N] "
            "[--type q4_k_m|q4_0]\n"
            "Writes a GGUF model of a real model's shape with generated weights, for benchmarks.")) {
        return 0;
    }
    try {
        kivo::QwenShapedModel model;
        std::string output;
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            const bool hasValue = i + 1 < argc;
            if (argument == "--size" && hasValue) {
                model.shape = kivo::QwenShapedModel::shapeNamed(argv[++i]);
            } else if (argument == "--tokenizer" && hasValue) {
                model.tokenizerJson = argv[++i];
            } else if (argument == "--type" && hasValue) {
                model.fileType = argv[++i];
            } else if (argument == "--seed" && hasValue) {
                model.seed = static_cast<std::uint32_t>(std::stoul(argv[++i]));
            } else if (output.empty() && !argument.starts_with("--")) {
                output = argument;
            } else {
                throw std::invalid_argument("unexpected argument " + argument);
            }
        }
        if (output.empty() || model.tokenizerJson.empty()) {
            throw std::invalid_argument("usage: kivo-qwen-gguf OUTPUT --size 0.5b|1.5b|3b --tokenizer TOKENIZER.JSON "
                                        "[--seed N] [--type q4_k_m|q4_0]");
        }
        model.write(output);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kivo-qwen-gguf: %s\n", error.what());
        return 1;
    }
}
