#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A private copy of the shipped resource folder that a test may edit.
class TempResources {
public:
    TempResources()
    {
        std::random_device device;
        path_ = std::filesystem::temp_directory_path() /
                ("kivo-resources-" + std::to_string(device()) + std::to_string(device()));
        std::filesystem::create_directories(path_);
        for (const auto& entry : std::filesystem::directory_iterator(KIVO_RESOURCES_DIR)) {
            // The instruction files only; the interface's catalogues live in a folder of their own.
            if (entry.is_regular_file() && entry.path().filename() != "CMakeLists.txt") {
                std::filesystem::copy_file(entry.path(), path_ / entry.path().filename());
            }
        }
    }
    ~TempResources() { std::filesystem::remove_all(path_); }
    TempResources(const TempResources&) = delete;
    TempResources& operator=(const TempResources&) = delete;

    const std::filesystem::path& path() const { return path_; }

    void write(const std::string& name, const std::string& content) const
    {
        std::ofstream(path_ / name, std::ios::binary | std::ios::trunc) << content;
    }
    void remove(const std::string& name) const { std::filesystem::remove(path_ / name); }

private:
    std::filesystem::path path_;
};
