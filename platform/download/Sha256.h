#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

namespace kivo::Sha256 {

// The lower-case hex SHA-256 of a file's bytes. Throws std::runtime_error when the file cannot
// be read; returns an empty string when `stop` was requested before the end.
std::string ofFile(const std::filesystem::path& path, const std::stop_token& stop = {});

// The same for bytes in memory.
std::string ofBytes(const std::string& bytes);

} // namespace kivo::Sha256
