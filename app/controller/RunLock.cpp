#include "app/controller/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kivo::RunLock {

std::string defaultPath()
{
    return "/tmp/kivo-afm-" + std::to_string(::getuid()) + ".lock";
}

Attempt acquire(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return {Outcome::cannotOpen};
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return {Outcome::held};
    }
    return {Outcome::locked, descriptor};
}

void release(int& descriptor)
{
    if (descriptor >= 0) {
        ::flock(descriptor, LOCK_UN);
        ::close(descriptor);
        descriptor = -1;
    }
}

} // namespace kivo::RunLock
