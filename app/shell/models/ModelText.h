#pragma once

#include "app/shell/models/ModelCatalogue.h"
#include "app/shell/models/ModelInstaller.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace kivo {

// The texts the Models window and `Kivo --models` share, in either interface language.
namespace ModelText {

std::string size(std::uint64_t bytes);
std::string duration(double seconds, bool chinese);
// "312 MB of 1.1 GB · 8.4 MB/s · 1 min 40 s left", or the checking phase.
std::string progress(const ModelInstaller::Progress& progress, bool chinese);
// After a failed download whose bytes were kept for the next attempt.
std::string kept(const ModelInstaller::Progress& progress, bool chinese);
// One catalogue entry: title, size, licence and whether it knows Cantonese.
std::string entryLine(const ModelCatalogue::Entry& entry, bool chinese);
std::string roleTitle(ModelRole role, bool chinese);
// What is installed for a role: the file, its size and what the runtime says.
std::string installed(const std::filesystem::path& file, const ModelVerifier::Report& report, bool chinese);
std::string notInstalled(ModelRole role, bool chinese);
std::string done(const ModelInstaller::Result& result, bool chinese);
std::string removed(ModelRole role, bool chinese);

// `first` and `second` as one text, without doubling the full stop that ends `first`.
std::string joined(const std::string& first, const std::string& second);
// `text` without a final full stop (Latin or CJK), for joining with other punctuation.
std::string withoutFullStop(std::string text);

} // namespace ModelText
} // namespace kivo
