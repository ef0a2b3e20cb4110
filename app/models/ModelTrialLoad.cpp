#include "app/models/ModelTrialLoad.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kivo {
namespace {

constexpr std::uint64_t runtimeSpace = 1ull << 30;
constexpr std::chrono::seconds timeLimit{120};
constexpr std::size_t longestReply = 64 * 1024;

ModelTrialLoad::Outcome unusable(const std::string& english, const std::string& chinese)
{
    return {false, "is not a usable model: " + english + ".", "不是可用的模型：" + chinese + "。"};
}

// The child's verdict line, or nothing when it printed none.
std::optional<ModelTrialLoad::Outcome> verdictIn(const std::string& output)
{
    const auto line = nlohmann::json::parse(output, nullptr, false);
    if (!line.is_object() || !line.contains("usable") || !line["usable"].is_boolean() || !line.contains("english") ||
        !line["english"].is_string() || !line.contains("chinese") || !line["chinese"].is_string()) {
        return std::nullopt;
    }
    return ModelTrialLoad::Outcome{line["usable"].get<bool>(), line["english"].get<std::string>(),
                                   line["chinese"].get<std::string>()};
}

} // namespace

ModelTrialLoad::Limits ModelTrialLoad::limitsFor(std::uint64_t fileSize)
{
    return {runtimeSpace + 2 * fileSize, timeLimit};
}

std::optional<std::filesystem::path> ModelTrialLoad::checker()
{
    std::error_code error;
    if (const char* named = std::getenv("KIVO_MODEL_CHECK"); named != nullptr && *named != '\0') {
        return std::filesystem::path(named);
    }
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::nullopt;
    }
    const auto candidate = self.parent_path().parent_path() / "Resources" / "kivo-model-check";
    if (std::filesystem::is_regular_file(candidate, error)) {
        return candidate;
    }
    return std::nullopt;
}

ModelTrialLoad::Outcome ModelTrialLoad::run(const std::filesystem::path& checker, ModelRole role,
                                            const std::filesystem::path& file, const Limits& limits)
{
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    const std::string program = checker.string();
    const std::string kind = role == ModelRole::speech ? "speech" : "language";
    const std::string path = file.string();
    std::array<char*, 4> arguments{const_cast<char*>(program.c_str()), const_cast<char*>(kind.c_str()),
                                   const_cast<char*>(path.c_str()), nullptr};
    const rlimit space{limits.addressSpace, limits.addressSpace};
    const rlimit noCore{0, 0};

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return unusable("its trial load could not start (" + std::string(std::strerror(errno)) + ")",
                        "無法開始試載（" + std::string(std::strerror(errno)) + "）");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe[1], STDOUT_FILENO);
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDERR_FILENO);
        }
        ::setrlimit(RLIMIT_AS, &space);
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::execv(arguments[0], arguments.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    if (child < 0) {
        ::close(pipe[0]);
        return unusable("its trial load could not start", "無法開始試載");
    }

    std::string output;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd wait{pipe[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(pipe[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (output.size() < longestReply) {
            output.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(pipe[0]);
    if (timedOut) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const auto seconds = std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limits.time).count());
    if (timedOut) {
        return unusable("its trial load took longer than " + seconds + " s", "試載超過 " + seconds + " 秒");
    }
    if (WIFSIGNALED(status)) {
        const std::string signal = std::to_string(WTERMSIG(status));
        return unusable("its trial load crashed or ran out of memory (signal " + signal + ")",
                        "試載時當掉或記憶體不足（訊號 " + signal + "）");
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        if (const auto verdict = verdictIn(output)) {
            return *verdict;
        }
    }
    const std::string code = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return unusable("its trial load ended without a verdict (exit status " + code + ")",
                    "試載結束而沒有結果（結束狀態 " + code + "）");
}

} // namespace kivo
