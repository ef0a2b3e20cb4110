// Sound files for the file mode: samples or RecognizerError.
#include "platform/speech/RecognizerError.h"
#include "platform/speech/WavFile.h"
#include "tests/fuzz/FuzzFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kivo::FuzzFile file(data, size, ".wav");
    try {
        (void)kivo::WavFile::read(file.path());
    } catch (const kivo::RecognizerError&) {
    }
    return 0;
}
