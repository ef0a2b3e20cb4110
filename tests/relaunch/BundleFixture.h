#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>

namespace kivo::testing {

// A bundle folder whose program only writes its process id into `marker` when started.
inline std::filesystem::path makeBundle(const std::filesystem::path& directory, const std::string& identifier,
                                        bool executable = true)
{
    std::filesystem::create_directories(directory / "bin");
    std::ofstream(directory / "Info.json")
        << R"({"CFBundleIdentifier":")" << identifier << R"(","CFBundleExecutable":"Kivo"})";
    const auto program = directory / "bin" / "Kivo";
    std::ofstream(program) << "#!/bin/sh\necho $$ > '" << (directory / "marker").string() << "'\n";
    ::chmod(program.c_str(), executable ? 0755 : 0644);
    return directory;
}

// Waits (bounded) for a file that a detached program writes.
inline bool waitForFile(const std::filesystem::path& path, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(path)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(path);
}

} // namespace kivo::testing
