#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A process id that was just in use and has been reaped.
inline pid_t goneProcessId()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// Each test's own temporary folder, with a bundle of this app in it.
class BundleFolderTest : public ::testing::Test {
protected:
    static constexpr const char* identifier = "local.kivo.afm-trial";

    BundleFolderTest()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-bundle-XXXXXX").string();
        directory = std::filesystem::canonical(::mkdtemp(pattern.data()));
        bundle = makeBundle(directory / "Kivo", identifier);
    }
    ~BundleFolderTest() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
    std::filesystem::path bundle;
};

} // namespace kivo::testing
