#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace kivo {

// The fuzz input as a file, for readers that take a path; one per process, rewritten for
// every input.
class FuzzFile {
public:
    FuzzFile(const std::uint8_t* data, std::size_t size, const std::string& suffix)
        : path_(std::filesystem::temp_directory_path() / ("kivo-fuzz-" + std::to_string(::getpid()) + suffix))
    {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ~FuzzFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace kivo
