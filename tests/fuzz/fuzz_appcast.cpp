// The update feed: items or UpdateError, and the newest of them.
#include "platform/updates/Appcast.h"
#include "platform/updates/UpdateError.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto items = kivo::Appcast::parse(std::string(reinterpret_cast<const char*>(data), size));
        (void)kivo::Appcast::newest(items, "0.1.0");
    } catch (const kivo::UpdateError&) {
    }
    return 0;
}
