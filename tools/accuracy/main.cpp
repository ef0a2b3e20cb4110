// speech_accuracy [--model PATH] [--offline] [--no-hong-kong] [--json] FOLDER
// For every NAME.wav in FOLDER with a NAME.txt beside it (the words actually said), runs the
// recogniser as a recording does and prints the character error rate, the real-time factor and
// the time to finalize, per file and in total.
#include "tools/accuracy/CharacterErrorRate.h"
#include "tools/accuracy/RecordingReplay.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace kivo;

namespace {

constexpr const char* help =
    "Usage: speech_accuracy [--model PATH] [--offline] [--no-hong-kong] [--json] FOLDER\n"
    "Measures the speech model on your own recordings: every NAME.wav in FOLDER with a NAME.txt\n"
    "beside it holding the words said. Each file goes through the recogniser as a recording does\n"
    "(streaming window, finalization, filters, Hong Kong characters).\n"
    "  --model PATH     the whisper model to measure (default: the installed speech model)\n"
    "  --offline        feed each file at once instead of at the speed of speech\n"
    "  --no-hong-kong   keep the characters as decoded\n"
    "  --json           one JSON document instead of the table\n"
    "Per file and in total: CER, the character error rate after removing punctuation and spaces\n"
    "and folding width, case and Simplified/Traditional characters; RTF, the time from the first\n"
    "sound to the final text divided by the length of the sound; finalize, the seconds from the\n"
    "end of the sound to the final text. Exit status 1 when a file could not be measured.\n";

std::string readText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv)
{
    WhisperRecognizer::Configuration configuration;
    RecordingReplay replay;
    bool json = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << help;
            return 0;
        } else if (argument == "--model" && i + 1 < argc) {
            configuration.modelPath = argv[++i];
        } else if (argument == "--offline") {
            replay.realtime = false;
        } else if (argument == "--no-hong-kong") {
            replay.hongKongCharacters = false;
        } else if (argument == "--json") {
            json = true;
        } else if (!argument.starts_with("--") && folder.empty()) {
            folder = argument;
        } else {
            std::cerr << help;
            return 2;
        }
    }
    if (folder.empty() || !std::filesystem::is_directory(folder)) {
        std::cerr << (folder.empty() ? std::string("No folder given.\n") : "Not a folder: " + folder + "\n") << help;
        return 2;
    }
    std::vector<std::filesystem::path> recordings;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const auto& path = entry.path();
        if (path.extension() == ".wav" &&
            std::filesystem::exists(std::filesystem::path(path).replace_extension(".txt"))) {
            recordings.push_back(path);
        }
    }
    std::sort(recordings.begin(), recordings.end());
    if (recordings.empty()) {
        std::cerr << "No NAME.wav with a NAME.txt beside it in " << folder << "\n";
        return 2;
    }

    WhisperRecognizer recognizer(configuration);
    nlohmann::json files = nlohmann::json::array();
    std::size_t edits = 0;
    std::size_t referenceLength = 0;
    double audioSeconds = 0.0;
    double elapsedSeconds = 0.0;
    double slowestFinalize = 0.0;
    int status = 0;
    if (!json) {
        std::printf("%-24s %7s %6s %9s  %s\n", "file", "CER", "RTF", "finalize", "recognised");
    }
    for (const auto& wav : recordings) {
        const std::string name = wav.stem().string();
        try {
            const auto outcome = replay.run(recognizer, wav);
            const auto reference = readText(std::filesystem::path(wav).replace_extension(".txt"));
            const auto cer = CharacterErrorRate::between(reference, outcome.text);
            edits += cer.edits;
            referenceLength += cer.referenceLength;
            audioSeconds += outcome.audioSeconds;
            elapsedSeconds += outcome.elapsedSeconds;
            slowestFinalize = std::max(slowestFinalize, outcome.finalizeSeconds);
            files.push_back({{"name", name},
                             {"cer", cer.rate()},
                             {"edits", cer.edits},
                             {"referenceCharacters", cer.referenceLength},
                             {"audioSeconds", outcome.audioSeconds},
                             {"realTimeFactor", outcome.realTimeFactor()},
                             {"finalizeSeconds", outcome.finalizeSeconds},
                             {"untranscribedWindows", outcome.untranscribedWindows},
                             {"recognised", outcome.text}});
            if (!json) {
                std::printf("%-24s %6.1f%% %6.2f %8.2fs  %s\n", name.c_str(), cer.rate() * 100.0,
                            outcome.realTimeFactor(), outcome.finalizeSeconds, outcome.text.c_str());
            }
        } catch (const std::exception& failure) {
            status = 1;
            files.push_back({{"name", name}, {"error", failure.what()}});
            if (!json) {
                std::printf("%-24s failed: %s\n", name.c_str(), failure.what());
            }
        }
    }
    const CharacterErrorRate total{edits, referenceLength};
    const double realTimeFactor = audioSeconds > 0.0 ? elapsedSeconds / audioSeconds : 0.0;
    if (json) {
        const nlohmann::json document{
            {"model", configuration.modelPath ? configuration.modelPath->string() : std::string()},
            {"files", files},
            {"total",
             {{"cer", total.rate()},
              {"edits", total.edits},
              {"referenceCharacters", total.referenceLength},
              {"audioSeconds", audioSeconds},
              {"realTimeFactor", realTimeFactor},
              {"slowestFinalizeSeconds", slowestFinalize}}}};
        std::cout << document.dump(2) << "\n";
    } else {
        std::printf("%-24s %6.1f%% %6.2f %8.2fs  (slowest finalize)\n", "total", total.rate() * 100.0, realTimeFactor,
                    slowestFinalize);
    }
    return status;
}
