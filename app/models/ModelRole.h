#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace kivo {

// The two models Kivo reads, each from one fixed file name.
enum class ModelRole {
    speech,
    language
};

namespace ModelRoles {

inline constexpr std::array<ModelRole, 2> allCases{ModelRole::speech, ModelRole::language};

// "speech" or "language", as the catalogue and the command line write them.
std::string_view rawValue(ModelRole role);
std::optional<ModelRole> named(std::string_view name);
// speech-model.bin or language-model.gguf.
std::string_view fileName(ModelRole role);

} // namespace ModelRoles
} // namespace kivo
