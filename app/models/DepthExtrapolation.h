#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

namespace kivo::DepthExtrapolation {

// A model's seconds at its full depth from timings of the same shape with one and three layers:
// the cost of a layer and the fixed cost (the stages before and after the layers) give the
// whole model without writing it. `timeAt(layers, file)` writes the model of that depth to
// `file` (in `scratch`, named from `stem`, the depth and `extension`) and times it; the file is removed afterwards,
// also when that throws. Returns 0 when stopped.
double fullDepthSeconds(int fullDepth, const std::filesystem::path& scratch, const std::string& stem,
                        const std::string& extension,
                        const std::function<double(int layers, const std::filesystem::path& file)>& timeAt,
                        std::stop_token stop);

} // namespace kivo::DepthExtrapolation
