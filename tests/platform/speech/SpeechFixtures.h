#pragma once

#include "platform/speech/WavFile.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kivo::testing {

// A generated one-layer model and Cantonese speech from espeak-ng (22.05 kHz, as it speaks),
// made once per test program in a private temporary folder.
struct SpeechFixtures {
    std::filesystem::path folder;
    std::filesystem::path model;
    std::filesystem::path speech;

    static const SpeechFixtures& shared()
    {
        static const SpeechFixtures fixtures = make();
        return fixtures;
    }

private:
    static SpeechFixtures make()
    {
        SpeechFixtures f;
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-speech-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        f.folder = pattern;
        f.model = f.folder / "tiny.bin";
        f.speech = f.folder / "yue.wav";
        TinyWhisperModel::write(f.model, TinyWhisperModel::Dimensions{});
        const std::string command = "espeak-ng -v yue -w '" + f.speech.string() +
                                    "' '你好，我今日想去銀行攞錢，之後同朋友去食晏。' 2>/dev/null";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("espeak-ng failed (is it installed?)");
        }
        return f;
    }
};

} // namespace kivo::testing
