#pragma once

#include <optional>

namespace kvp {

// Where an axis starts and ends, and the distance between its ticks.
struct AxisRange {
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
    bool operator==(const AxisRange &) const = default;
};

// Round ticks for the trend's axes, and a value range that holds still.
//
// Ticks are 1, 2 or 5 times a power of ten, and the range runs from one tick to
// another. A chart whose range followed the values exactly would renumber its axis
// on every redraw; fit() keeps the range it chose while the values stay inside it
// and fill at least a quarter of it, and when it must move, leaves a tenth of the
// values' extent free on either side, so that the next wiggle does not move it again.
class TrendAxis
{
public:
    static constexpr int kIntervals = 4; // about this many ticks between low and high

    // The round step for `extent` in about `intervals` steps.
    static double niceStep(double extent, int intervals = kIntervals);
    // The round range around [min, max]; a single value gets a range of its own.
    static AxisRange niceRange(double min, double max, int intervals = kIntervals);
    // Ticks of the time axis, in seconds, for a span: whole seconds or minutes, at
    // most six intervals.
    static double timeStep(double spanSeconds);
    // Decimals a label needs to tell ticks `step` apart.
    static int decimalsFor(double step);

    // The range to show values from `min` to `max` with, given what was shown before.
    // `intervals` as in niceRange(); a change of it starts afresh.
    AxisRange fit(double min, double max, int intervals = kIntervals);
    // Forget the range: the next fit starts afresh (other values are shown).
    void reset() { m_range.reset(); }

private:
    std::optional<AxisRange> m_range;
    int m_intervals = kIntervals;
};

} // namespace kvp
