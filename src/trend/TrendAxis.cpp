#include "TrendAxis.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kvp {

double TrendAxis::niceStep(double extent, int intervals)
{
    const double raw = std::max(extent, 1e-12) / std::max(intervals, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    return 10.0 * power;
}

AxisRange TrendAxis::niceRange(double min, double max, int intervals)
{
    if (max < min)
        std::swap(min, max);
    if (max - min < 1e-9) {
        // A flat line: a small range around it, never zero wide.
        const double half = std::max(1.0, std::abs(min) * 0.02);
        min -= half;
        max += half;
    }
    const double step = niceStep(max - min, intervals);
    // A hair of slack, so that a value that is itself a tick is not pushed a step out.
    const double low = std::floor(min / step + 1e-9) * step;
    const double high = std::ceil(max / step - 1e-9) * step;
    return {low, std::max(high, low + step), step};
}

double TrendAxis::timeStep(double spanSeconds)
{
    constexpr std::array<double, 13> kSteps{1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    for (const double step : kSteps)
        if (spanSeconds / step <= 6.0 + 1e-9)
            return step;
    return kSteps.back() * std::ceil(spanSeconds / kSteps.back() / 6.0);
}

int TrendAxis::decimalsFor(double step)
{
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
}

AxisRange TrendAxis::fit(double min, double max, int intervals)
{
    if (m_range && intervals == m_intervals) {
        const AxisRange &r = *m_range;
        const AxisRange snug = niceRange(min, max, intervals);
        const bool inside = min >= r.low && max <= r.high;
        const bool fills = snug.high - snug.low >= (r.high - r.low) / 4;
        if (inside && fills)
            return r;
    }
    m_intervals = intervals;
    const double room = std::max(max - min, 0.0) * 0.1;
    m_range = niceRange(min - room, max + room, intervals);
    return *m_range;
}

} // namespace kvp
