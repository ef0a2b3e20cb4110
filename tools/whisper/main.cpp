// kivo-whisper-model OUT [tiny|base|small|large-v3-turbo] [f16|q8_0|q5_0] [N_VOCAB]: writes a whisper
// model with random weights.
#include "platform/process/HelpOption.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    using kivo::TinyWhisperModel;
    if (kivo::HelpOption::answer(
            argc, argv,
            "usage: kivo-whisper-model OUT.bin [tiny|base|small|large-v3-turbo] [f16|q8_0|q5_0] [n_vocab]\n"
            "Writes a whisper model of the given shape with generated weights, for tests.")) {
        return 0;
    }
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: %s OUT.bin [tiny|base|small|large-v3-turbo] [f16|q8_0|q5_0] [n_vocab]\n", argv[0]);
        return 2;
    }
    try {
        const std::string size = argc > 2 ? argv[2] : "tiny";
        auto dimensions = size == "base"             ? TinyWhisperModel::base()
                          : size == "small"          ? TinyWhisperModel::small()
                          : size == "large-v3-turbo" ? TinyWhisperModel::largeV3Turbo()
                          : size == "tiny"           ? TinyWhisperModel::Dimensions{}
                                                     : throw std::invalid_argument("unknown size: " + size);
        auto weights = TinyWhisperModel::WeightType::f16;
        for (int i = 3; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "q8_0") {
                weights = TinyWhisperModel::WeightType::q8_0;
            } else if (argument == "q5_0") {
                weights = TinyWhisperModel::WeightType::q5_0;
            } else if (argument != "f16") {
                dimensions.nVocab = std::stoi(argument);
            }
        }
        TinyWhisperModel::write(argv[1], dimensions, 1, weights);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
