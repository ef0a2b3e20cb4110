#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// A model operation that ended without installing, importing or removing anything. It carries
// the message in both interface languages; what() is the English one.
class ModelError : public std::runtime_error {
public:
    enum class Case {
        catalogueInvalid,
        notInCatalogue,
        busy, // another download or import of the same model is running
        notEnoughSpace,
        downloadFailed, // see the download layer's message for the reason
        cancelled,
        checksumMismatch,
        invalidFile, // not a model of that kind, or the runtime cannot load it
        fileFailed,  // reading, copying, renaming or deleting failed
        notInstalled,
    };

    ModelError(Case kind, const std::string& english, std::string chinese);

    Case kind() const { return case_; }
    std::string message(bool chinese) const { return chinese ? chinese_ : what(); }

private:
    Case case_;
    std::string chinese_;
};

} // namespace kivo
