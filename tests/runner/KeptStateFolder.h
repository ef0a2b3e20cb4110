#pragma once

// The runtime folder where the runner keeps model states, as the runner tests look at it.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>

namespace kivo::test {

// A private folder on the memory-backed /dev/shm, removed afterwards. Its path is empty when
// the folder could not be made.
class MemoryFolder {
public:
    MemoryFolder()
    {
        char pattern[] = "/dev/shm/kivo-runtime-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) {
            path_ = pattern;
        }
    }
    ~MemoryFolder()
    {
        if (!path_.empty()) {
            std::filesystem::remove_all(path_);
        }
    }
    MemoryFolder(const MemoryFolder&) = delete;
    MemoryFolder& operator=(const MemoryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The kept states in a runtime folder.
inline std::vector<std::filesystem::path> keptEntries(const std::filesystem::path& runtime)
{
    std::vector<std::filesystem::path> found;
    if (std::filesystem::is_directory(runtime / "kivo-prefix")) {
        for (const auto& entry : std::filesystem::directory_iterator(runtime / "kivo-prefix")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

inline std::string fileContents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace kivo::test
