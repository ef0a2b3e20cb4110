#pragma once

#include <stdexcept>
#include <string>

namespace kivo {

// A check or install that ended without success. The description is what the user is shown.
class UpdateError : public std::runtime_error {
public:
    static constexpr const char* serviceDomain = "local.kivo.updater";
    enum Code : int {
        feedFailed = 1,
        downloadFailed = 2,
        signatureInvalid = 3,
        archiveInvalid = 4,
        installFailed = 5,
        noUpdateFound = 1001,
    };

    UpdateError(Code code, const std::string& description);
    UpdateError(std::string domain, int code, const std::string& description);

    const std::string& domain() const { return domain_; }
    int code() const { return code_; }
    std::string localizedDescription() const { return what(); }
    bool isNoUpdateFound() const { return domain_ == serviceDomain && code_ == noUpdateFound; }

private:
    std::string domain_;
    int code_;
};

} // namespace kivo
