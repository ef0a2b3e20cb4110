#pragma once

// The runtime folder where the runner keeps model states, as the runner tests look at it.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

inline nlohmann::json request(const std::string& source, const nlohmann::json& taskPrefix = nullptr)
{
    return {{"source", source},
            {"sourceLocale", "zh-HK"},
            {"locale", "zh-TW"},
            {"instructions", "Rewrite the transcript as written Chinese."},
            {"taskPrefix", taskPrefix}};
}

// One runner process with its own data home and runtime folder: the reply, less its times.
inline nlohmann::json runKeeping(const std::string& input, const std::string& dataHome,
                                 const std::filesystem::path& runtime, bool prepare = false)
{
    const ChildResult process =
        runChild(KIVO_REWRITE_RUNNER, prepare ? std::vector<std::string>{"--prepare"} : std::vector<std::string>{},
                 input, {{"XDG_DATA_HOME", dataHome}, {"XDG_RUNTIME_DIR", runtime}});
    EXPECT_EQ(process.exitStatus, 0);
    EXPECT_EQ(process.err, "");
    EXPECT_EQ(process.out.find('\n'), process.out.size() - 1) << "one reply line";
    nlohmann::json reply = nlohmann::json::parse(process.out, nullptr, false);
    EXPECT_TRUE(reply.is_object()) << process.out;
    EXPECT_TRUE(reply.contains("startedAt") && reply.contains("elapsedSeconds")) << process.out;
    reply.erase("elapsedSeconds");
    reply.erase("startedAt");
    return reply;
}

} // namespace kivo::test
