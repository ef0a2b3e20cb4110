#pragma once

#include "runner/Request.h"

#include <string_view>

namespace kivo {

// Standard-input bytes to a Request.
namespace RequestDecoder {

// The whole input must be one JSON object in UTF-8 holding the four required string keys;
// "taskPrefix" may be absent, null or a string. Throws DecodingError otherwise.
Request decode(std::string_view input);

}  // namespace RequestDecoder
}  // namespace kivo
