// kivo-whisper-model OUT [tiny|base] [VOCAB]: writes a whisper model with random weights.
#include "tools/whisper/TinyWhisperModel.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUT.bin [tiny|base] [n_vocab]\n", argv[0]);
        return 2;
    }
    try {
        const std::string size = argc > 2 ? argv[2] : "tiny";
        auto dimensions = size == "base" ? kivo::TinyWhisperModel::base() : kivo::TinyWhisperModel::Dimensions{};
        if (argc > 3) {
            dimensions.nVocab = std::stoi(argv[3]);
        }
        kivo::TinyWhisperModel::write(argv[1], dimensions);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
