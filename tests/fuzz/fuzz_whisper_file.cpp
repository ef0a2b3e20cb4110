// The whisper file check: any bytes give a header or WhisperFileError, nothing else.
#include "platform/speech/WhisperFileCheck.h"
#include "platform/speech/WhisperFileError.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        kivo::WhisperFileCheck::checkBytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.bin");
    } catch (const kivo::WhisperFileError&) {
    }
    return 0;
}
