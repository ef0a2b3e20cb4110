#include "tools/whisper/DamagedWhisperFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace kivo {

const char* DamagedWhisperFiles::fieldName(int field)
{
    static const char* const names[headerFields] = {"n_vocab",       "n_audio_ctx", "n_audio_state", "n_audio_head",
                                                    "n_audio_layer", "n_text_ctx",  "n_text_state",  "n_text_head",
                                                    "n_text_layer",  "n_mels",      "ftype"};
    return field >= 0 && field < headerFields ? names[field] : "?";
}

std::vector<DamagedWhisperFiles::Copy> DamagedWhisperFiles::truncations(const std::string& original)
{
    std::vector<Copy> out;
    for (const std::size_t length : {std::size_t{60}, std::size_t{1000}, std::size_t{100000}}) {
        out.push_back({"cut to " + std::to_string(length) + " bytes", original.substr(0, length)});
    }
    out.push_back({"10 bytes short", original.substr(0, original.size() > 10 ? original.size() - 10 : 0)});
    return out;
}

std::vector<DamagedWhisperFiles::Copy> DamagedWhisperFiles::headerFieldValues(const std::string& original)
{
    std::vector<Copy> out;
    for (int field = 0; field < headerFields; ++field) {
        for (const std::int32_t value : {0, -1, 1, 7, 65536, std::numeric_limits<std::int32_t>::max()}) {
            std::string bytes = original;
            const std::size_t at = 4 + 4 * static_cast<std::size_t>(field);
            if (bytes.size() >= at + 4) {
                std::memcpy(bytes.data() + at, &value, sizeof value);
            }
            out.push_back({std::string(fieldName(field)) + " = " + std::to_string(value), std::move(bytes)});
        }
    }
    return out;
}

std::vector<DamagedWhisperFiles::Copy> DamagedWhisperFiles::randomBytes(const std::string& original, int count,
                                                                        int firstSeed)
{
    std::vector<Copy> out;
    const std::size_t span = std::min<std::size_t>(original.size(), 200 * 1000);
    for (int seed = firstSeed; seed < firstSeed + count && span > 0; ++seed) {
        std::mt19937 random(static_cast<std::uint32_t>(seed));
        std::uniform_int_distribution<std::size_t> where(0, span - 1);
        std::uniform_int_distribution<int> value(0, 255);
        std::string bytes = original;
        for (int i = 0; i < 20; ++i) {
            bytes[where(random)] = static_cast<char>(value(random));
        }
        out.push_back({"20 random bytes, seed " + std::to_string(seed), std::move(bytes)});
    }
    return out;
}

std::vector<DamagedWhisperFiles::Copy> DamagedWhisperFiles::all(const std::string& original)
{
    auto out = truncations(original);
    for (auto part : {headerFieldValues(original), randomBytes(original)}) {
        std::move(part.begin(), part.end(), std::back_inserter(out));
    }
    return out;
}

} // namespace kivo
