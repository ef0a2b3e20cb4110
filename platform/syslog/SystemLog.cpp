#include "platform/syslog/SystemLog.h"

#include <syslog.h>

namespace kivo {

SystemLog::SystemLog(std::string subsystem, std::string category, bool alsoStandardError)
    : subsystem_(std::move(subsystem)), category_(std::move(category))
{
    ::openlog(subsystem_.c_str(), LOG_PID | (alsoStandardError ? LOG_PERROR : 0), LOG_USER);
}

SystemLog::~SystemLog()
{
    ::closelog();
}

void SystemLog::error(const std::string& message) const
{
    ::syslog(LOG_ERR, "%s: %s", category_.c_str(), message.c_str());
}

} // namespace kivo
