#pragma once

#include <QColor>

#include <cstddef>

namespace kvp {

// The colour of each line of the trend.
class TrendColours
{
public:
    // Of the module at `place` among those followed; lighter on a dark background.
    static QColor of(std::size_t place, bool dark);
};

} // namespace kvp
