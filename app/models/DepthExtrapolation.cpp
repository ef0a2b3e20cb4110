#include "app/models/DepthExtrapolation.h"

#include <algorithm>
#include <string>

namespace kivo::DepthExtrapolation {

double fullDepthSeconds(int fullDepth, const std::filesystem::path& scratch, const std::string& stem,
                        const std::string& extension,
                        const std::function<double(int layers, const std::filesystem::path& file)>& timeAt,
                        std::stop_token stop)
{
    std::filesystem::create_directories(scratch);
    double seconds[2] = {0.0, 0.0};
    const int layers[2] = {1, 3};
    for (int i = 0; i < 2; ++i) {
        if (stop.stop_requested()) {
            return 0.0;
        }
        const auto file = scratch / (stem + "-" + std::to_string(layers[i]) + extension);
        try {
            seconds[i] = timeAt(layers[i], file);
        } catch (...) {
            std::filesystem::remove(file);
            throw;
        }
        std::filesystem::remove(file);
    }
    if (stop.stop_requested()) {
        return 0.0;
    }
    const double perLayer = std::max(0.0, (seconds[1] - seconds[0]) / 2.0);
    const double fixed = std::max(0.0, seconds[0] - perLayer);
    return fixed + perLayer * fullDepth;
}

} // namespace kivo::DepthExtrapolation
