#include "TrendLevel.h"

#include <algorithm>

namespace kvp {

TrendLevel::TrendLevel(Clock::duration resolution, std::size_t capacity)
    : m_resolution(resolution), m_slots(capacity)
{
}

void TrendLevel::clear()
{
    std::fill(m_slots.begin(), m_slots.end(), TrendBucket{});
    m_newest = TrendBucket::kEmpty;
    m_hotIndex = TrendBucket::kEmpty;
}

std::int64_t TrendLevel::indexOf(TimePoint t) const
{
    // Floor, not truncation: a steady clock may stand before its epoch.
    const auto ticks = t.time_since_epoch().count();
    const auto per = m_resolution.count();
    return ticks / per - (ticks % per < 0 ? 1 : 0);
}

std::size_t TrendLevel::slotOf(std::int64_t index) const
{
    const auto n = static_cast<std::int64_t>(m_slots.size());
    return static_cast<std::size_t>(((index % n) + n) % n);
}

std::int64_t TrendLevel::oldest() const
{
    if (m_newest == TrendBucket::kEmpty)
        return TrendBucket::kEmpty;
    return m_newest - static_cast<std::int64_t>(m_slots.size()) + 1;
}

bool TrendLevel::holds(TimePoint t) const
{
    return m_newest != TrendBucket::kEmpty && indexOf(t) >= oldest();
}

TrendBucket *TrendLevel::bucket(std::int64_t index)
{
    if (m_newest != TrendBucket::kEmpty && index < oldest())
        return nullptr; // older than anything kept: dropped
    m_newest = std::max(m_newest, index);
    TrendBucket &b = m_slots[slotOf(index)];
    if (b.index != index)
        b = TrendBucket{.index = index};
    return &b;
}

void TrendLevel::add(TimePoint t, std::int32_t value)
{
    TrendBucket &hot = m_slots[m_hotSlot];
    if (t >= m_hotFrom && t < m_hotTo && hot.index == m_hotIndex) {
        hot.add(value);
        return;
    }
    const std::int64_t index = indexOf(t);
    TrendBucket *b = bucket(index);
    if (!b)
        return;
    b->add(value);
    m_hotSlot = slotOf(index);
    m_hotIndex = index;
    m_hotFrom = start(index);
    m_hotTo = m_hotFrom + m_resolution;
}

void TrendLevel::markStale(TimePoint from, TimePoint to)
{
    const std::int64_t last = indexOf(to);
    // Only the newest `capacity` buckets up to `to` can be kept; marking older ones
    // would only overwrite them.
    const std::int64_t first = std::max(indexOf(from), last - static_cast<std::int64_t>(m_slots.size()) + 1);
    for (std::int64_t i = first; i <= last; ++i)
        if (TrendBucket *b = bucket(i))
            b->stale = true;
}

void TrendLevel::merge(TimePoint at, const TrendBucket &from)
{
    TrendBucket *b = bucket(indexOf(at));
    if (!b)
        return;
    if (from.count > 0) {
        b->min = b->count == 0 ? from.min : std::min(b->min, from.min);
        b->max = b->count == 0 ? from.max : std::max(b->max, from.max);
        b->sum += from.sum;
        b->count += from.count;
    }
    b->stale = b->stale || from.stale;
}

std::size_t TrendLevel::stored() const
{
    return static_cast<std::size_t>(
        std::count_if(m_slots.begin(), m_slots.end(), [](const TrendBucket &b) { return b.index != TrendBucket::kEmpty; }));
}

} // namespace kvp
