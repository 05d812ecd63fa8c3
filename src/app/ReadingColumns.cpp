#include "ReadingColumns.h"

namespace kvp {

ValueLog::Shown readingColumns(const Reading &reading, const ReadoutSettings &settings)
{
    ValueLog::Shown shown;
    shown.scaled = QString::fromStdString(reading.text);
    shown.unit = QString::fromStdString(settings.units.unit);
    if (reading.limit == LimitState::above)
        shown.limit = QStringLiteral("high");
    else if (reading.limit == LimitState::below)
        shown.limit = QStringLiteral("low");
    return shown;
}

} // namespace kvp
