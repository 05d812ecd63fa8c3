#pragma once

#include <cstdint>
#include <limits>

namespace kvp {

// Everything the trend keeps of the values in one stretch of time.
struct TrendBucket {
    static constexpr std::int64_t kEmpty = std::numeric_limits<std::int64_t>::min();

    std::int64_t index = kEmpty; // which stretch: time since the clock's epoch / resolution
    std::int64_t sum = 0;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::uint32_t count = 0;
    bool stale = false; // the value on display was stale during some of it

    void add(std::int32_t value)
    {
        min = count == 0 || value < min ? value : min;
        max = count == 0 || value > max ? value : max;
        sum += value;
        ++count;
    }
};

} // namespace kvp
