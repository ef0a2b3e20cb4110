#pragma once

#include <string>

namespace kivo {

// One subsystem's messages in the system log, each prefixed with its category.
class SystemLog {
public:
    // `alsoStandardError` copies every message to standard error (for tests of programs).
    SystemLog(std::string subsystem, std::string category, bool alsoStandardError = false);
    ~SystemLog();
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

    void error(const std::string& message) const;

private:
    std::string subsystem_; // openlog keeps the pointer
    std::string category_;
};

} // namespace kivo
