#pragma once

#include "TrendPicture.h"

#include "reader/EngineeringUnits.h"

#include "trend/TrendColumn.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace kvp {

// The trend's words: a module's min, max and mean in its units, and the lines
// above a saved picture (and in the chart's description for a screen reader).
class TrendCaption
{
    Q_DECLARE_TR_FUNCTIONS(TrendCaption)

public:
    // "最小 0.300 kg   最大 0.306 kg   平均 0.3030 kg", in the exact decimals of the
    // value shown; the mean to one place more.
    static QString figures(const TrendStats &s, const EngineeringUnits &units);
    // The line under the chart: the box's module's figures and rate, named when
    // `address` is given (there are several lines).
    static QString summary(const TrendStats &s, const EngineeringUnits &units, std::optional<int> address);
    // A row of marks in each line's colour, with its address (rich text).
    static QString legend(const TrendPicture &picture);
    // The port, addresses, span and time, then one line per module shown with its
    // figures; `stats` in the order of `shown`.
    static QStringList lines(const QString &port, const std::vector<int> &shown, const QString &span,
                             const QDateTime &at, const std::vector<TrendStats> &stats,
                             const std::function<EngineeringUnits(int)> &unitsOf);
};

} // namespace kvp
