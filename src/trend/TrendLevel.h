#pragma once

#include "TrendBucket.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace kvp {

// The newest `capacity` buckets of one resolution, in a ring: adding a value to a
// stretch the ring has moved past reuses the oldest slot.
class TrendLevel
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    TrendLevel(Clock::duration resolution, std::size_t capacity);

    void add(TimePoint t, std::int32_t value);
    void markStale(TimePoint from, TimePoint to);
    void clear();
    // Adds everything `b` holds to the bucket of `at` (a bucket of another level
    // moving into this one).
    void merge(TimePoint at, const TrendBucket &b);
    // Calls f(bucketStart, bucket) for every kept bucket, in no particular order.
    template<class F>
    void forEachKept(F &&f) const
    {
        for (const TrendBucket &b : m_slots)
            if (b.index != TrendBucket::kEmpty)
                f(start(b.index), b);
    }

    // The bucket holding `t` is still kept.
    bool holds(TimePoint t) const;
    // Calls f(bucketStart, bucket) for every kept bucket that overlaps [from, to],
    // oldest first.
    template<class F>
    void forEach(TimePoint from, TimePoint to, F &&f) const
    {
        const std::int64_t last = indexOf(to);
        std::int64_t i = std::max(indexOf(from), oldest());
        if (i > last)
            return;
        for (std::size_t slot = slotOf(i); i <= last; ++i) {
            const TrendBucket &b = m_slots[slot];
            if (b.index == i)
                f(start(i), b);
            if (++slot == m_slots.size())
                slot = 0;
        }
    }

    Clock::duration resolution() const { return m_resolution; }
    std::size_t capacity() const { return m_slots.size(); }
    std::size_t stored() const;

private:
    std::int64_t indexOf(TimePoint t) const;
    std::size_t slotOf(std::int64_t index) const;
    std::int64_t oldest() const;
    TimePoint start(std::int64_t index) const { return TimePoint{} + index * m_resolution; }
    TrendBucket *bucket(std::int64_t index);

    Clock::duration m_resolution;
    std::vector<TrendBucket> m_slots;
    std::int64_t m_newest = TrendBucket::kEmpty;
    // The bucket the last value went to, and its stretch: values come in order, so
    // most go to the same one without a division.
    std::size_t m_hotSlot = 0;
    std::int64_t m_hotIndex = TrendBucket::kEmpty;
    TimePoint m_hotFrom{};
    TimePoint m_hotTo{};
};

} // namespace kvp
