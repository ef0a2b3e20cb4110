// Unpacking a downloaded update archive into a staging folder: files, or UpdateError.
#include "platform/updates/ArchiveTools.h"
#include "platform/updates/UpdateError.h"
#include "tests/fuzz/FuzzFile.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kivo::FuzzFile staging(nullptr, 0, ".staging");
    std::filesystem::remove(staging.path());
    std::filesystem::create_directory(staging.path());
    try {
        kivo::ArchiveTools::unpack(std::string(reinterpret_cast<const char*>(data), size), staging.path());
    } catch (const kivo::UpdateError&) {
    }
    return 0;
}
