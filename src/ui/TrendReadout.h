#pragma once

#include <QString>

namespace kvp {

// How a module's counts are shown in the trend: count × scale + offset, to
// `decimals` places, in `unit`.
struct TrendReadout {
    double scale = 1;
    double offset = 0;
    int decimals = 0;
    QString unit;
};

} // namespace kvp
