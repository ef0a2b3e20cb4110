#include "app/conversion/ConversionPace.h"

#include <algorithm>
#include <cmath>

namespace kivo {

void ConversionPace::observe(std::size_t characters, double seconds)
{
    if (characters < shortestMeasured || !(seconds > 0.0) || !std::isfinite(seconds)) {
        return;
    }
    const double pace = seconds / static_cast<double>(characters);
    // The slower of the last two weigh most: the next run may meet the same load.
    secondsPerCharacter_ = secondsPerCharacter_ ? std::max(pace, (*secondsPerCharacter_ + pace) / 2.0) : pace;
}

std::size_t ConversionPace::pieceLimit(double limitSeconds) const
{
    if (!secondsPerCharacter_) {
        return defaultPiece;
    }
    // The small allowance keeps an exact quotient from landing one below in binary.
    const double characters = std::floor(limitSeconds * plannedShare / *secondsPerCharacter_ + 1e-6);
    return static_cast<std::size_t>(
        std::clamp(characters, static_cast<double>(smallestPiece), static_cast<double>(largestPiece)));
}

} // namespace kivo
