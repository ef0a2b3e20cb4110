#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace kivo::test {

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
                     const std::map<std::string, std::string>& environment)
{
    // A child that exits without reading its input must not take the test down with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        throw std::runtime_error("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        merged[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
    }
    for (const auto& [key, value] : environment) {
        merged[key] = value;
    }
    std::vector<std::string> envText;
    envText.reserve(merged.size());
    for (const auto& [key, value] : merged) {
        envText.push_back(key);
        envText.back().append("=").append(value);
    }
    std::vector<char*> envp;
    envp.reserve(envText.size() + 1);
    for (auto& entry : envText) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(argText.size() + 1);
    for (auto& argument : argText) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        throw std::runtime_error("cannot start " + program);
    }

    // Feed standard input while draining both outputs, so no pipe fills up.
    ChildResult result;
    std::size_t written = 0;
    int inFd = in[1];
    int readFds[2] = {out[0], err[0]};
    std::string* sinks[2] = {&result.out, &result.err};
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    while (readFds[0] >= 0 || readFds[1] >= 0) {
        pollfd fds[3] = {{readFds[0], POLLIN, 0}, {readFds[1], POLLIN, 0}, {inFd, POLLOUT, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (readFds[i] >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t count = read(readFds[i], buffer, sizeof buffer);
                if (count > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(count));
                } else if (count == 0 || errno != EINTR) {
                    close(readFds[i]);
                    readFds[i] = -1;
                }
            }
        }
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t count = write(inFd, input.data() + written, input.size() - written);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
            }
            if ((count < 0 && errno != EINTR && errno != EAGAIN) || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void makeTinyModel(const std::string& dataHome, const std::vector<std::string>& options)
{
    const auto folder = std::filesystem::path(dataHome) / "kivo" / "models";
    std::filesystem::create_directories(folder);
    std::vector<std::string> arguments{(folder / "language-model.gguf").string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ChildResult result = runChild(KIVO_TINY_GGUF, arguments, "");
    if (result.exitStatus != 0) {
        throw std::runtime_error("kivo-tiny-gguf failed: " + result.err);
    }
}

} // namespace kivo::test
