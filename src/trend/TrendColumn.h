#pragma once

#include <cstdint>

namespace kvp {

// One pixel column of the trend: the range of the values that fell in it.
struct TrendColumn {
    std::uint32_t count = 0;
    std::int32_t min = 0;
    std::int32_t max = 0;
    bool stale = false; // the value was stale during some of it

    // Draw nothing here and break the line: the value was stale and nothing came.
    // A column that is merely empty (more columns than values) is bridged.
    bool gap() const { return count == 0 && stale; }
    bool operator==(const TrendColumn &) const = default;
};

// What the trend says about the span shown.
struct TrendStats {
    std::uint64_t count = 0;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int64_t sum = 0; // of the counts: the mean exactly is sum / count
    double mean = 0.0;
    double rate = 0.0; // values a second over the part of the span that has values
};

} // namespace kvp
