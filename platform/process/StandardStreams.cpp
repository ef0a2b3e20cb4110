#include "platform/process/StandardStreams.h"

#include <unistd.h>

#include <array>
#include <cerrno>

namespace kivo::StandardStreams {

std::string readAll(int descriptor)
{
    std::string data;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count > 0) {
            data.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return data;
        }
    }
}

bool writeAll(int descriptor, const std::string& data)
{
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(descriptor, data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace kivo::StandardStreams
