#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kivo {

// Checks of a GGUF file's settings that the runtime asserts on instead of reporting: a model
// with zero or absurdly many layers, a non-finite or negative epsilon, an unknown rope
// scaling would stop the whole process (internal to this layer).
namespace ModelMetadata {

// What is wrong with the file's settings, or nothing when the runtime can be given the file.
// Reads only the header; never throws.
std::optional<std::string> problem(const std::filesystem::path& file);

} // namespace ModelMetadata
} // namespace kivo
