#include "TrendLines.h"

#include <algorithm>

namespace kvp {

QList<QList<QPointF>> TrendLines::runs(const std::vector<TrendColumn> &columns, double spanSeconds,
                                       const std::function<double(std::int32_t)> &valueOf)
{
    QList<QList<QPointF>> runs(1);
    const double step = spanSeconds / static_cast<double>(std::max<std::size_t>(columns.size(), 1));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const TrendColumn &c = columns[i];
        if (c.gap()) {
            if (!runs.back().isEmpty() && runs.size() < kMostSegments)
                runs.emplace_back();
            continue;
        }
        if (c.count == 0)
            continue; // merely empty: the line bridges it
        const double x = -spanSeconds + (static_cast<double>(i) + 0.5) * step;
        runs.back().append(QPointF(x, valueOf(c.min)));
        if (c.max != c.min)
            runs.back().append(QPointF(x, valueOf(c.max)));
    }
    if (runs.back().isEmpty())
        runs.removeLast();
    return runs;
}

} // namespace kvp
