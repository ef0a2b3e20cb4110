#include "platform/speech/SpeechModelFile.h"

#include <array>
#include <cstdlib>
#include <fstream>

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
    const std::array<std::filesystem::path, 2> candidates{
        userData.empty() ? std::filesystem::path() : userData / "kivo" / "models" / fileName,
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
    std::ifstream in(path, std::ios::binary);
    std::array<std::int32_t, 12> fields{};
    if (!in.read(reinterpret_cast<char*>(fields.data()), sizeof(fields))) {
        return std::nullopt;
    }
    constexpr std::int32_t ggmlMagic = 0x67676d6c;
    if (fields[0] != ggmlMagic) {
        return std::nullopt;
    }
    Header header;
    header.nVocab = fields[1];
    header.nAudioCtx = fields[2];
    header.nAudioState = fields[3];
    header.nAudioLayer = fields[5];
    header.nTextLayer = fields[9];
    header.nMels = fields[10];
    if (header.nVocab <= 0 || header.nAudioLayer <= 0 || header.nMels <= 0) {
        return std::nullopt;
    }
    return header;
}

} // namespace kivo
