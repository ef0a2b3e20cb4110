#include "runner/ProgressReport.h"

#include "platform/process/StandardStreams.h"

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
    // After a failed write the reader is gone: nothing more is sent.
    if (!StandardStreams::writeAll(descriptor_, std::to_string(written) + ' ' + std::to_string(expected_) + '\n')) {
        descriptor_ = -1;
    }
}

} // namespace kivo
