#pragma once

#include "TrendColumn.h"
#include "TrendLevel.h"

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kvp {

// The history behind the trend chart: every good value and every stretch when the
// value on display was stale, kept in bounded memory however fast values come.
//
// Usage from the edge that owns the chart:
//
//     series.add(now, value);                     // each good value the cycle shows
//     series.markStale(staleSince, now);          // while stale, from where the last
//                                                 // call ended (repeats are harmless)
//     // at most ~20 times a second, unless paused (then keep the `end` of the pause):
//     auto cols = series.columns(end, span, plotWidthInPixels); // one per pixel
//     auto stats = series.stats(end, span);       // min, max, mean, values/s
//     file.write(series.csv(end, span, wallClockText));         // "save as CSV"
//
// Each column gives min and max: draw a vertical stroke from min to max and join
// it to the next column, but break the line at a gap().
//
// Values are not kept one by one: an hour at 12,000 values a second would be
// 43 million of them. They are summed into buckets of three resolutions, each in a
// ring of its own:
//
//     5 ms   x 13,000 = the last 65 s  (the 10 s and 60 s spans, at a pixel a bucket
//                                       up to 2,000 pixels wide)
//     50 ms  x 12,000 = the last 10 min
//     500 ms x  7,500 = the last 62.5 min
//
// 32,500 buckets of 32 bytes, about 1 MB, whatever the rate. A series of scale k
// (several modules on one line share its rate, and the memory) has buckets k times
// as long and k times fewer of them: the same hours in a k-th of the memory. A span is drawn from
// the finest level that still holds its start, so a redraw reads at most 13,000
// buckets. Times are known to a bucket: a value counts in the span when its
// bucket overlaps it.
class TrendSeries
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Duration = Clock::duration;

    static constexpr Duration kDefaultSpan = std::chrono::seconds(60);
    static constexpr Duration kShortestSpan = std::chrono::seconds(10);
    static constexpr Duration kLongestSpan = std::chrono::hours(1);

    explicit TrendSeries(int scale = 1);
    int scale() const { return m_scale; }
    // The same history at another scale: each bucket goes into the bucket of its start.
    TrendSeries rescaled(int scale) const;

    void add(TimePoint t, std::int32_t value);
    void markStale(TimePoint from, TimePoint to);
    void clear();

    // `width` columns over [end - span, end].
    std::vector<TrendColumn> columns(TimePoint end, Duration span, int width) const;
    TrendStats stats(TimePoint end, Duration span) const;
    // The span as CSV: a header, then one line per bucket with values or with a
    // stale stretch: time,min,max,mean,count (stale stretches leave the values
    // empty). timeText writes a bucket's start; by default, seconds before `end`.
    // `more`, when given, writes columns of its own after the count (from ',').
    std::string csv(TimePoint end, Duration span, const std::function<std::string(TimePoint)> &timeText = {},
                    const std::function<std::string(const TrendBucket &)> &more = {}) const;

    std::size_t storedBuckets() const;
    static std::size_t capacity(int scale = 1);
    static constexpr std::size_t bucketBytes() { return sizeof(TrendBucket); }
    // The resolution a span is drawn at: what a test or a tooltip can rely on.
    Duration resolutionFor(TimePoint end, Duration span) const { return levelFor(end - span).resolution(); }

private:
    const TrendLevel &levelFor(TimePoint from) const;

    int m_scale = 1;
    std::array<TrendLevel, 3> m_levels;
};

} // namespace kvp
