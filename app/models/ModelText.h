#pragma once

#include "app/models/ModelCatalogue.h"
#include "app/models/ModelInstaller.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace kivo {

// The texts the Models window and `Kivo --models` share, in the interface language.
namespace ModelText {

std::string size(std::uint64_t bytes);
std::string duration(double seconds);
// "312 MB of 1.1 GB · 8.4 MB/s · 1 min 40 s left", or the checking phase.
std::string progress(const ModelInstaller::Progress& progress);
// After a failed download whose bytes were kept for the next attempt.
std::string kept(const ModelInstaller::Progress& progress);
// One catalogue entry: title, size, licence and whether it knows Cantonese.
std::string entryLine(const ModelCatalogue::Entry& entry);
std::string roleTitle(ModelRole role);
// What is installed for a role: the file, its size and what the runtime says (`report`, one
// side of a ModelVerifier::Report).
std::string installed(const std::filesystem::path& file, const std::string& report);
std::string notInstalled(ModelRole role);
std::string done(const std::filesystem::path& file, const std::string& report);
std::string removed(ModelRole role);

// `first` and `second` as one text, without doubling the full stop that ends `first`.
std::string joined(const std::string& first, const std::string& second);
// `text` without a final full stop (Latin or CJK), for joining with other punctuation.
std::string withoutFullStop(std::string text);

} // namespace ModelText
} // namespace kivo
