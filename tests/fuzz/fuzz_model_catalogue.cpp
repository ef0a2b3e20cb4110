// The model catalogue as downloaded: a catalogue or ModelError.
#include "app/models/ModelCatalogue.h"
#include "app/models/ModelError.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        (void)kivo::ModelCatalogue::parse(std::string(reinterpret_cast<const char*>(data), size),
                                          "https://models.invalid/catalogue.json");
    } catch (const kivo::ModelError&) {
    }
    return 0;
}
