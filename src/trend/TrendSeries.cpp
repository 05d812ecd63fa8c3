#include "TrendSeries.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace kvp {

using namespace std::chrono_literals;

namespace {

struct Shape {
    TrendSeries::Duration resolution;
    std::size_t buckets;
};
// Finest first; the header explains the choice.
constexpr std::array<Shape, 3> kShapes{{{5ms, 13'000}, {50ms, 12'000}, {500ms, 7'500}}};

std::size_t bucketsOf(std::size_t i, int scale)
{
    return std::max<std::size_t>(kShapes[i].buckets / static_cast<std::size_t>(std::max(scale, 1)), 1);
}

TrendLevel levelOf(std::size_t i, int scale)
{
    return TrendLevel(kShapes[i].resolution * std::max(scale, 1), bucketsOf(i, scale));
}

} // namespace

TrendSeries::TrendSeries(int scale)
    : m_scale(std::max(scale, 1)), m_levels{levelOf(0, scale), levelOf(1, scale), levelOf(2, scale)}
{
}

TrendSeries TrendSeries::rescaled(int scale) const
{
    TrendSeries out(scale);
    for (std::size_t i = 0; i < m_levels.size(); ++i)
        m_levels[i].forEachKept([&](TimePoint start, const TrendBucket &b) { out.m_levels[i].merge(start, b); });
    return out;
}

void TrendSeries::add(TimePoint t, std::int32_t value)
{
    for (TrendLevel &level : m_levels)
        level.add(t, value);
}

void TrendSeries::markStale(TimePoint from, TimePoint to)
{
    for (TrendLevel &level : m_levels)
        level.markStale(from, to);
}

void TrendSeries::clear()
{
    for (TrendLevel &level : m_levels)
        level.clear();
}

const TrendLevel &TrendSeries::levelFor(TimePoint from) const
{
    for (const TrendLevel &level : m_levels)
        if (level.holds(from))
            return level;
    return m_levels.back();
}

std::vector<TrendColumn> TrendSeries::columns(TimePoint end, Duration span, int width) const
{
    std::vector<TrendColumn> out(static_cast<std::size_t>(std::max(width, 0)));
    if (out.empty() || span <= Duration::zero())
        return out;
    const TimePoint from = end - span;
    levelFor(from).forEach(from, end, [&](TimePoint start, const TrendBucket &b) {
        // A bucket goes to the column its start falls in; one that began before the
        // span, to the first.
        const auto into = std::max(start, from) - from;
        const auto c = std::min<std::int64_t>(into.count() * width / span.count(), width - 1);
        TrendColumn &col = out[static_cast<std::size_t>(c)];
        if (b.count > 0) {
            col.min = col.count == 0 ? b.min : std::min(col.min, b.min);
            col.max = col.count == 0 ? b.max : std::max(col.max, b.max);
            col.count += b.count;
        }
        col.stale = col.stale || b.stale;
    });
    return out;
}

TrendStats TrendSeries::stats(TimePoint end, Duration span) const
{
    TrendStats s;
    const TimePoint from = end - span;
    const TrendLevel &level = levelFor(from);
    std::int64_t sum = 0;
    std::optional<TimePoint> first;
    level.forEach(from, end, [&](TimePoint start, const TrendBucket &b) {
        if (b.count == 0)
            return;
        s.min = s.count == 0 ? b.min : std::min(s.min, b.min);
        s.max = s.count == 0 ? b.max : std::max(s.max, b.max);
        s.count += b.count;
        sum += b.sum;
        if (!first)
            first = std::max(start, from);
    });
    if (s.count == 0)
        return s;
    s.sum = sum;
    s.mean = static_cast<double>(sum) / static_cast<double>(s.count);
    // Over the time that has values: a trend opened a second ago shows the rate of
    // that second, not of a minute mostly empty. At least a bucket, never zero.
    const auto covered = std::max<Duration>(end - *first, level.resolution());
    s.rate = static_cast<double>(s.count) / std::chrono::duration<double>(covered).count();
    return s;
}

std::string TrendSeries::csv(TimePoint end, Duration span, const std::function<std::string(TimePoint)> &timeText,
                             const std::function<std::string(const TrendBucket &)> &more) const
{
    const auto secondsBefore = [end](TimePoint t) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", -std::chrono::duration<double>(end - t).count());
        return std::string(text);
    };
    std::string out = "time,min,max,mean,count\n";
    const TimePoint from = end - span;
    levelFor(from).forEach(from, end, [&](TimePoint start, const TrendBucket &b) {
        if (b.count == 0 && !b.stale)
            return;
        out += timeText ? timeText(start) : secondsBefore(start);
        if (b.count == 0) {
            out += ",,,,0";
        } else {
            char values[96];
            std::snprintf(values, sizeof values, ",%d,%d,%.3f,%u", b.min, b.max,
                          static_cast<double>(b.sum) / static_cast<double>(b.count), b.count);
            out += values;
        }
        if (more)
            out += more(b);
        out += '\n';
    });
    return out;
}

std::size_t TrendSeries::storedBuckets() const
{
    std::size_t n = 0;
    for (const TrendLevel &level : m_levels)
        n += level.stored();
    return n;
}

std::size_t TrendSeries::capacity(int scale)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < kShapes.size(); ++i)
        n += bucketsOf(i, scale);
    return n;
}

} // namespace kvp
