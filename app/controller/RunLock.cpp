#include "app/controller/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kivo::RunLock {

std::string defaultPath()
{
    return "/tmp/kivo-afm-" + std::to_string(::getuid()) + ".lock";
}

Attempt acquire(const std::string& path)
{
    // The folder is shared with other users: never follow a link, and take a file someone else
    // prepared only when it is plainly ours.
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    bool created = true;
    int descriptor = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0 && errno == EEXIST) {
        created = false;
        descriptor = ::open(path.c_str(), flags);
    }
    if (descriptor < 0) {
        return {errno == ELOOP ? Outcome::unsafe : Outcome::cannotOpen};
    }
    if (created) {
        ::fchmod(descriptor, 0600); // whatever the umask made of it
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 07777) != 0600) {
        ::close(descriptor);
        return {Outcome::unsafe};
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
