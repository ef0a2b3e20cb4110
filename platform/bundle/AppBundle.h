#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace kivo {

// An installed bundle: a folder with Info.json at its root and the program in bin/.
class AppBundle {
public:
    // The bundle at `directory`, or none when it has no readable Info.json object.
    static std::optional<AppBundle> open(const std::filesystem::path& directory);

    const std::filesystem::path& path() const { return path_; }
    // A string-valued Info.json key; keys of other types count as missing.
    std::optional<std::string> string(const std::string& key) const;
    std::optional<std::string> identifier() const { return string("CFBundleIdentifier"); }
    // bin/ + "CFBundleExecutable", when that names a plain file name.
    std::optional<std::filesystem::path> executablePath() const;
    // The bundle names an executable and it is an executable regular file.
    bool hasExecutableFile() const;

private:
    std::filesystem::path path_;
    std::map<std::string, std::string> strings_;
};

bool isExecutableFile(const std::filesystem::path& path);

} // namespace kivo
