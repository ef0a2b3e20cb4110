// rewrite-runner: reads one request object on standard input, performs one structured
// generation with the on-device language model and writes one reply line on standard output.
// It takes no arguments, writes nothing to standard error and exits 0 after every reply.
#include "runner/Run.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace {

std::string readAll(int descriptor) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            data.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return data;
        }
    }
}

void writeAll(int descriptor, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(descriptor, data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        written += static_cast<std::size_t>(count);
    }
}

}  // namespace

int main() {
    const auto started = std::chrono::system_clock::now();
    writeAll(STDOUT_FILENO, kivo::Run::perform(readAll(STDIN_FILENO), started));
    return 0;
}
