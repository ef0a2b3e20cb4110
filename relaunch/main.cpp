// kivo-relaunch PID BUNDLE: reopens the Kivo bundle once the process PID has ended.
#include "platform/syslog/SystemLog.h"
#include "relaunch/RelaunchHelper.h"

#ifndef KIVO_RELAUNCH_WAIT_MS
#define KIVO_RELAUNCH_WAIT_MS 30000
#endif
#ifndef KIVO_RELAUNCH_LOG_TO_STDERR
#define KIVO_RELAUNCH_LOG_TO_STDERR false
#endif

int main(int argc, char** argv)
{
    const kivo::SystemLog log(kivo::RelaunchHelper::bundleIdentifier, "restart", KIVO_RELAUNCH_LOG_TO_STDERR);
    kivo::RelaunchHelper::Limits limits;
    limits.wait = std::chrono::milliseconds(KIVO_RELAUNCH_WAIT_MS);
    kivo::RelaunchHelper::run(std::vector<std::string>(argv + 1, argv + argc), limits, log);
    return 0;
}
