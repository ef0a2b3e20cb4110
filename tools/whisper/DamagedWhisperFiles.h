#pragma once

#include <string>
#include <vector>

namespace kivo {

// Damaged copies of a whisper model file, the kinds a broken download or a bad disk gives:
// the file cut short, one header field set to an edge value, random bytes changed near the
// start. Always the same copies for the same file.
struct DamagedWhisperFiles {
    struct Copy {
        std::string label; // e.g. "cut to 1000 bytes", "n_text_head = 65536", "20 random bytes, seed 3"
        std::string bytes;
    };

    static constexpr int headerFields = 11; // n_vocab .. ftype, after the magic
    static const char* fieldName(int field);

    // The file cut to 60, 1,000 and 100,000 bytes and 10 bytes short.
    static std::vector<Copy> truncations(const std::string& original);
    // Each header field set to 0, -1, 1, 7, 65536 and 2^31 - 1 in turn.
    static std::vector<Copy> headerFieldValues(const std::string& original);
    // 20 random bytes in the first 200 kB changed, with seeds 1 to `count`.
    static std::vector<Copy> randomBytes(const std::string& original, int count = 10, int firstSeed = 1);
    // All of the above.
    static std::vector<Copy> all(const std::string& original);
};

} // namespace kivo
