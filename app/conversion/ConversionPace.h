#pragma once

#include <cstddef>
#include <optional>

namespace kivo {

// How many characters one conversion can take and still finish within the time limit on this
// machine with this model, learnt from the runner's own elapsed times. Long texts are converted
// in pieces of that size (see TextPieces).
class ConversionPace {
public:
    // Before anything was measured: what the 1.5B-size model in written mode finishes well
    // inside 30 s on 2 busy cores.
    static constexpr std::size_t defaultPiece = 300;
    static constexpr std::size_t smallestPiece = 60;
    static constexpr std::size_t largestPiece = 4000;
    // Short runs are mostly start-up time and would make the pieces needlessly small.
    static constexpr std::size_t shortestMeasured = 80;
    // Of the limit, the share a piece is planned to use: a busy machine is slower than the last run.
    static constexpr double plannedShare = 0.5;

    // After a run that converted `characters` in `seconds` (the runner's elapsedSeconds).
    void observe(std::size_t characters, double seconds);
    // The most characters a piece may have to finish within `limitSeconds`.
    std::size_t pieceLimit(double limitSeconds) const;
    std::optional<double> secondsPerCharacter() const { return secondsPerCharacter_; }

private:
    std::optional<double> secondsPerCharacter_;
};

} // namespace kivo
