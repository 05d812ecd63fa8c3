#pragma once

#include "trend/TrendColumn.h"

#include <QList>
#include <QPointF>

#include <cstdint>
#include <functional>
#include <vector>

namespace kvp {

// A module's line in the chart, from its columns.
class TrendLines
{
public:
    // More gaps than this in one line and span are drawn bridged after the last: a line
    // that flickers between live and stale would otherwise cost a series per flicker.
    static constexpr int kMostSegments = 64;

    // Runs of points: one vertical stroke per column from min to max, joined to the
    // next; a gap starts a new run, so no line crosses it. x in seconds before the
    // end, y the value `valueOf` a count.
    static QList<QList<QPointF>> runs(const std::vector<TrendColumn> &columns, double spanSeconds,
                                      const std::function<double(std::int32_t)> &valueOf);
};

} // namespace kvp
