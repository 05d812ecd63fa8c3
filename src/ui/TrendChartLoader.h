#pragma once

#include "TrendChart.h"

#include <QString>

namespace kvp {

// Finds and loads kvp-trend-chart, in plugins/ beside the window's program (where
// it is installed, and where the build puts it), once per run. A library that is
// missing or broken is an answer too: the trend then says why instead of a chart.
class TrendChartLoader
{
public:
    static constexpr const char *kFileName = KVP_CHART_FILE; // plugins/kvp-trend-chart.so or .dll

    // Null when it cannot be loaded; error() says why.
    static TrendChartFactory *factory();
    static QString error();
    // The file to load; by default the one beside the program. Tests point it
    // elsewhere, and an empty path back to the default.
    static void setPath(const QString &path);
    static QString path();
    // Whether a load was tried (a window whose trend stayed closed never tries).
    static bool tried();
};

} // namespace kvp
