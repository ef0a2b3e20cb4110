#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kivo {

// A download that ended without the whole file. The description names the address and the
// reason in English; callers that show other languages use the case and the values.
class DownloadError : public std::runtime_error {
public:
    enum class Case {
        cancelled,   // the caller asked to stop
        notFound,    // HTTP 404 or 410
        httpStatus,  // any other HTTP error status
        truncated,   // the connection ended before the announced length
        diskFull,    // the partial file could not be written: no space left
        writeFailed, // the partial file could not be opened or written for another reason
        network,     // no connection, TLS failure, timeout and the like
    };

    DownloadError(Case kind, const std::string& description, long status = 0);

    Case kind() const { return case_; }
    long httpStatus() const { return status_; }

private:
    Case case_;
    long status_;
};

} // namespace kivo
