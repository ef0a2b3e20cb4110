#pragma once

#include <limits>
#include <string>
#include <vector>

namespace kivo {

// Folds the recogniser's provisional and final results, by time range, into the live display
// text and the final text. The first settled text for a stretch of audio wins.
class TranscriptReducer {
public:
    struct FinalSegment {
        std::string text;
        double startSeconds = 0.0;
        double endSeconds = 0.0;

        friend bool operator==(const FinalSegment&, const FinalSegment&) = default;
    };

    void consume(const std::string& text, double start, double end, bool isFinal,
                 double finalizedThrough = -std::numeric_limits<double>::infinity());
    // Settles every remaining provisional segment (after the recogniser finalized all input).
    void finishFinalizedInput();

    std::string displayText() const;
    std::string finalText() const;
    std::vector<FinalSegment> finalSegments() const;

private:
    struct Segment {
        double start;
        double end;
        std::string text;

        bool overlaps(const Segment& other) const { return other.start < end && start < other.end; }
    };

    void promoteVolatiles(double through);
    bool overlapsFinal(const Segment& segment) const;
    static std::string joined(std::vector<Segment> segments);

    std::vector<Segment> finals_;
    std::vector<Segment> volatiles_;
};

} // namespace kivo
