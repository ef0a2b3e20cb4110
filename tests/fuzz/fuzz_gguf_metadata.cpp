// The GGUF settings check that runs before llama.cpp is given a file; it never throws.
#include "platform/languagemodel/ModelMetadata.h"
#include "tests/fuzz/FuzzFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const kivo::FuzzFile file(data, size, ".gguf");
    (void)kivo::ModelMetadata::problem(file.path());
    return 0;
}
