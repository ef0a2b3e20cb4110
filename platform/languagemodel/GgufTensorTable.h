#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kivo {

// A walk over a GGUF file's key-value section to its tensor table, for what llama.cpp's own
// reader cannot survive: it divides by each tensor dimension before checking it, so a
// dimension of 0 stops the process with a floating-point exception (internal to this layer).
namespace GgufTensorTable {

// What is wrong with the tensor table, or nothing. A file this walk cannot follow (cut short,
// an unknown value type) is left to llama.cpp, which refuses it cleanly. Never throws.
std::optional<std::string> problem(const std::filesystem::path& file);

} // namespace GgufTensorTable
} // namespace kivo
