#include "app/speech/TranscriptReducer.h"

#include <algorithm>
#include <cmath>

namespace kivo {

namespace {

bool isSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// White space and line breaks (ASCII and the common Unicode spaces) at both ends.
std::string trimmed(const std::string& text)
{
    static const std::string wide[] = {"\u00A0", "\u0085", "\u2028", "\u2029", "\u3000", "\u2009",
                                       "\u200A", "\u2002", "\u2003", "\u202F", "\u205F", "\u1680"};
    std::size_t begin = 0;
    std::size_t end = text.size();
    for (bool moved = true; moved && begin < end;) {
        moved = false;
        if (isSpace(static_cast<unsigned char>(text[begin]))) {
            ++begin;
            moved = true;
            continue;
        }
        for (const auto& space : wide) {
            if (text.compare(begin, space.size(), space) == 0) {
                begin += space.size();
                moved = true;
                break;
            }
        }
    }
    for (bool moved = true; moved && end > begin;) {
        moved = false;
        if (isSpace(static_cast<unsigned char>(text[end - 1]))) {
            --end;
            moved = true;
            continue;
        }
        for (const auto& space : wide) {
            if (end - begin >= space.size() && text.compare(end - space.size(), space.size(), space) == 0) {
                end -= space.size();
                moved = true;
                break;
            }
        }
    }
    return text.substr(begin, end - begin);
}

} // namespace

bool TranscriptReducer::overlapsFinal(const Segment& segment) const
{
    return std::any_of(finals_.begin(), finals_.end(), [&](const Segment& f) { return f.overlaps(segment); });
}

void TranscriptReducer::consume(const std::string& text, double start, double end, bool isFinal,
                                double finalizedThrough)
{
    if (!std::isfinite(start) || !std::isfinite(end) || !(start < end)) {
        return;
    }
    Segment segment{start, end, text};
    const bool hasText = !trimmed(text).empty();
    std::erase_if(volatiles_, [&](const Segment& v) { return v.overlaps(segment); });
    if (hasText && !overlapsFinal(segment)) {
        (isFinal ? finals_ : volatiles_).push_back(std::move(segment));
    }
    promoteVolatiles(finalizedThrough);
}

void TranscriptReducer::promoteVolatiles(double through)
{
    if (!std::isfinite(through) && through != std::numeric_limits<double>::infinity()) {
        return; // minus infinity or NaN settles nothing
    }
    std::vector<Segment> taken;
    std::erase_if(volatiles_, [&](Segment& v) {
        if (v.end <= through) {
            taken.push_back(std::move(v));
            return true;
        }
        return false;
    });
    for (auto& segment : taken) {
        if (!overlapsFinal(segment)) {
            finals_.push_back(std::move(segment));
        }
    }
}

void TranscriptReducer::finishFinalizedInput()
{
    promoteVolatiles(std::numeric_limits<double>::infinity());
}

std::string TranscriptReducer::joined(std::vector<Segment> segments)
{
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment& a, const Segment& b) { return a.start < b.start; });
    std::string text;
    for (const auto& segment : segments) {
        text += segment.text;
    }
    return trimmed(text);
}

std::string TranscriptReducer::displayText() const
{
    std::vector<Segment> all = finals_;
    all.insert(all.end(), volatiles_.begin(), volatiles_.end());
    return joined(std::move(all));
}

std::string TranscriptReducer::finalText() const
{
    return joined(finals_);
}

std::vector<TranscriptReducer::FinalSegment> TranscriptReducer::finalSegments() const
{
    std::vector<Segment> sorted = finals_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Segment& a, const Segment& b) { return a.start < b.start; });
    std::vector<FinalSegment> out;
    out.reserve(sorted.size());
    for (const auto& segment : sorted) {
        out.push_back({segment.text, segment.start, segment.end});
    }
    return out;
}

} // namespace kivo
