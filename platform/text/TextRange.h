#pragma once

#include <cstdint>
#include <limits>

namespace kivo {

// A range of UTF-16 code units, the unit every range exchanged with the platform uses.
struct TextRange {
    static constexpr std::int64_t notFound = std::numeric_limits<std::int64_t>::max();

    std::int64_t location = 0;
    std::int64_t length = 0;

    constexpr std::int64_t end() const { return location + length; }
    constexpr bool intersects(const TextRange& other) const { return location < other.end() && other.location < end(); }
    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};

} // namespace kivo
