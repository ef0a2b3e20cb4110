// kivo-tiny-gguf: writes a tiny GGUF chat model for tests and benchmarks.
//   kivo-tiny-gguf OUTPUT [--context N] [--style letter|blank|runaway|recall] [--seed N] [--layers N] [--set
//   KEY=TYPE:VALUE]...
#include "platform/process/HelpOption.h"
#include "tools/gguf/TinyChatModel.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

int main(int argc, char** argv)
{
    if (kivo::HelpOption::answer(argc, argv,
                                 "usage: kivo-tiny-gguf OUTPUT [--context N] [--style letter|blank|runaway|recall] "
                                 "[--seed N] [--layers N] [--set KEY=TYPE:VALUE]...\n"
                                 "Writes a small GGUF chat model with generated weights, for tests.")) {
        return 0;
    }
    try {
        kivo::TinyChatModel model;
        std::string output;
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            const bool hasValue = i + 1 < argc;
            if (argument == "--context" && hasValue) {
                model.contextLength = static_cast<std::uint32_t>(std::stoul(argv[++i]));
            } else if (argument == "--style" && hasValue) {
                model.style = kivo::TinyChatModel::styleNamed(argv[++i]);
            } else if (argument == "--seed" && hasValue) {
                model.seed = static_cast<std::uint32_t>(std::stoul(argv[++i]));
            } else if (argument == "--layers" && hasValue) {
                model.layers = static_cast<std::uint32_t>(std::stoul(argv[++i]));
            } else if (argument == "--set" && hasValue) {
                model.overrides.emplace_back(argv[++i]);
            } else if (output.empty() && !argument.starts_with("--")) {
                output = argument;
            } else {
                throw std::invalid_argument("unexpected argument " + argument);
            }
        }
        if (output.empty()) {
            throw std::invalid_argument(
                "usage: kivo-tiny-gguf OUTPUT [--context N] [--style letter|blank|runaway|recall] [--seed N] [--layers "
                "N] [--set KEY=TYPE:VALUE]...");
        }
        model.write(output);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kivo-tiny-gguf: %s\n", error.what());
        return 1;
    }
}
