#pragma once

#include "ui/TrendPicture.h"

#include <QFont>
#include <QRectF>
#include <QSize>
#include <QStringList>

class QPainter;

namespace kvp {

// Puts a trend's picture on a painter: the plot with its grid at the ticks, one
// polyline per run of a line (a gap is where one run ends and the next begins), the
// tick labels and the axes' titles around it, in the picture's colours. The same for
// the widget on screen and for the file, at any size.
class TrendChartPainter
{
public:
    TrendChartPainter(const TrendPicture &picture, const QFont &font);

    // Where the plot lies in a chart of `size`: what is left once the labels and the
    // titles have their room.
    QRectF plotArea(QSize size) const;
    void paint(QPainter &painter, QSize size) const;

    // The ticks of an axis: whole multiples of its step from low to high, so the
    // labels stay put while the range holds.
    static QList<double> ticks(const AxisRange &range);
    // A tick's label, with `decimals` places; never "-0".
    static QString label(double value, int decimals);

private:
    void paintGrid(QPainter &painter, const QRectF &plot) const;
    void paintLines(QPainter &painter, const QRectF &plot) const;
    void paintLabels(QPainter &painter, const QRectF &plot) const;

    const TrendPicture &m_picture;
    QFont m_font;
    QStringList m_valueLabels;
    QList<double> m_valueTicks, m_timeTicks;
    int m_valueLabelWidth = 0;
    int m_lineHeight = 0;
};

} // namespace kvp
