#include "platform/bundle/DetachedProcess.h"

#include <cstring>

#include <spawn.h>

extern char** environ;

namespace kivo::DetachedProcess {

pid_t start(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> strings;
    strings.reserve(arguments.size() + 1);
    strings.push_back(program.string());
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : strings) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session, so that closing the starter's terminal does not end it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        throw StartError(std::strerror(result));
    }
    return pid;
}

} // namespace kivo::DetachedProcess
