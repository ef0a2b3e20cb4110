#pragma once

#include "app/conversion/ConversionError.h"

#include <filesystem>
#include <string>

namespace kivo::ResourceFile {

// A resource that is missing, unreadable, not UTF-8 or not in the expected format.
class Error : public ConversionError {
public:
    enum class Code {
        noSuchFile = 0,
        notReadable = 1,
        notUtf8 = 2,
        badFormat = 3
    };
    Error(Code code, std::filesystem::path path, const std::string& detail = {});
    Code reason() const { return code_; }
    const std::filesystem::path& path() const { return path_; }

private:
    Code code_;
    std::filesystem::path path_;
};

// Reads `name` from `directory` whole, as UTF-8, on every call (no cache: edits to the
// instruction files take effect at the next conversion).
std::string readText(const std::filesystem::path& directory, const std::string& name);

} // namespace kivo::ResourceFile
