#include "runner/ProgressReport.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace kivo {

void ProgressReport::expect(int tokens)
{
    expected_ = tokens;
    send(0);
}

void ProgressReport::written(int tokens)
{
    if (std::chrono::steady_clock::now() - lastSent_ >= std::chrono::milliseconds(100)) {
        send(tokens);
    }
}

void ProgressReport::send(int written)
{
    if (descriptor_ < 0) {
        return;
    }
    lastSent_ = std::chrono::steady_clock::now();
    const std::string line = std::to_string(written) + ' ' + std::to_string(expected_) + '\n';
    // Short lines on a pipe go in one piece; on a failed write the reader is gone, so stop.
    ssize_t count = 0;
    while ((count = ::write(descriptor_, line.data(), line.size())) < 0 && errno == EINTR) {
    }
    if (count < 0) {
        descriptor_ = -1;
    }
}

} // namespace kivo
