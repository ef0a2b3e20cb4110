#include "platform/speech/SpeechModelFile.h"

#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"

#include <array>
#include <cstdlib>

namespace kivo {

std::optional<std::filesystem::path> SpeechModelFile::locate()
{
    std::filesystem::path userData;
    // A relative XDG_DATA_HOME is ignored, as the XDG rules (and the language model) do.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        userData = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        userData = std::filesystem::path(home) / ".local" / "share";
    }
    const std::array<std::filesystem::path, 2> candidates{userData.empty() ? std::filesystem::path()
                                                                           : userData / "kivo" / "models" / fileName,
                                                          std::filesystem::path("/usr/share/kivo/models") / fileName};
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (!candidate.empty() && std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<SpeechModelFile::Header> SpeechModelFile::readHeader(const std::filesystem::path& path)
{
    try {
        return WhisperFileCheck::check(path);
    } catch (const WhisperFileError&) {
        return std::nullopt;
    }
}

std::string SpeechModelFile::sizeName(const Header& header)
{
    switch (header.nAudioState) {
    case 384: return header.nAudioLayer == 4 ? "tiny" : "";
    case 512: return header.nAudioLayer == 6 ? "base" : "";
    case 768: return header.nAudioLayer == 12 ? "small" : "";
    case 1024: return header.nAudioLayer == 24 ? "medium" : "";
    case 1280:
        if (header.nAudioLayer != 32) {
            return "";
        }
        // Turbo keeps large-v3's encoder and cuts the decoder to 4 layers.
        if (header.nTextLayer == 4) {
            return "large-v3-turbo";
        }
        return header.nMels == 128 ? "large-v3" : "large";
    default: return "";
    }
}

} // namespace kivo
