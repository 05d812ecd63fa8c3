#include "FontFit.h"

#include <QFontMetricsF>

namespace kvp {
namespace {

bool fits(QFont font, qreal points, const QString &text, QSize room)
{
    font.setPointSizeF(points);
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height();
}

} // namespace

QFont fittingFont(QFont font, const QString &text, QSize room, qreal most)
{
    // Bisection on quarter points: a few dozen measurements at most.
    int low = 4; // 1 pt
    int high = static_cast<int>(most * 4);
    if (!fits(font, low / 4.0, text, room)) {
        font.setPointSizeF(1);
        return font;
    }
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (fits(font, mid / 4.0, text, room))
            low = mid;
        else
            high = mid - 1;
    }
    font.setPointSizeF(low / 4.0);
    return font;
}

QString widestValueText()
{
    // 24 bits, two's complement: -8388608 to 8388607.
    return QStringLiteral("-8888888");
}

QString widestValueText(const ReadoutSettings &settings)
{
    // Scaling is linear: the longest texts are those of the two extreme counts.
    QString widest;
    for (const std::int32_t raw : {-8388608, 8388607}) {
        QString text = QString::fromStdString(settings.units.text(raw));
        for (QChar &c : text)
            if (c.isDigit())
                c = QLatin1Char('8');
        if (text.size() > widest.size())
            widest = text;
    }
    if (settings.limits.any())
        widest.prepend(QStringLiteral("▲ "));
    if (!settings.units.unit.empty())
        widest += QLatin1Char(' ') + QString::fromStdString(settings.units.unit);
    return widest;
}

} // namespace kvp
