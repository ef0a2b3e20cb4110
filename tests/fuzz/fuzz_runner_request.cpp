// The runner's standard-input decoder: a RewriteRequest or DecodingError.
#include "protocol/DecodingError.h"
#include "protocol/RewriteRequest.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        (void)kivo::RewriteRequest::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const kivo::DecodingError&) {
    }
    return 0;
}
