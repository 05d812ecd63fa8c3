#include "TrendChartPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace kvp {
namespace {

constexpr int kMargin = 4;
constexpr int kTickGap = 4; // between a label and the plot
// More ticks than any axis of the panel has, far fewer than a wrong step would ask
// for: such an axis gets no ticks rather than a frozen window.
constexpr int kMostTicks = 200;

double toX(double x, const AxisRange &range, const QRectF &plot)
{
    const double extent = range.high - range.low;
    return extent > 0 ? plot.left() + (x - range.low) / extent * plot.width() : plot.left();
}

double toY(double y, const AxisRange &range, const QRectF &plot)
{
    const double extent = range.high - range.low;
    return extent > 0 ? plot.bottom() - (y - range.low) / extent * plot.height() : plot.center().y();
}

} // namespace

TrendChartPainter::TrendChartPainter(const TrendPicture &picture, const QFont &font)
    : m_picture(picture), m_font(font), m_valueTicks(ticks(picture.value)), m_timeTicks(ticks(picture.time))
{
    const QFontMetrics metrics(m_font);
    m_lineHeight = metrics.height();
    for (const double tick : m_valueTicks) {
        m_valueLabels << label(tick, picture.valueDecimals);
        m_valueLabelWidth = std::max(m_valueLabelWidth, metrics.horizontalAdvance(m_valueLabels.back()));
    }
}

QList<double> TrendChartPainter::ticks(const AxisRange &range)
{
    QList<double> out;
    if (!(range.step > 0) || !(range.high >= range.low) || (range.high - range.low) / range.step > kMostTicks)
        return out;
    // A hair of slack, so that a range that ends on a tick (as the panel's do) keeps
    // it despite rounding.
    const double slack = range.step * 1e-9;
    for (double k = std::ceil((range.low - slack) / range.step);; ++k) {
        const double tick = k * range.step;
        if (tick > range.high + slack)
            break;
        out.append(tick);
    }
    return out;
}

QString TrendChartPainter::label(double value, int decimals)
{
    QString text = QString::number(value, 'f', std::clamp(decimals, 0, 12));
    // -0.0001 at no decimals, or a tick at -0 after rounding, is zero.
    if (text.startsWith(QLatin1Char('-')) && text.count(QLatin1Char('0')) + text.count(QLatin1Char('.')) == text.size() - 1)
        text.remove(0, 1);
    return text;
}

QRectF TrendChartPainter::plotArea(QSize size) const
{
    const QFontMetrics metrics(m_font);
    const int valueTitle = m_picture.valueTitle.isEmpty() ? 0 : m_lineHeight + kTickGap;
    const int timeTitle = m_picture.timeTitle.isEmpty() ? 0 : m_lineHeight;
    // The last time label is centred on the plot's right edge: half of it sticks out.
    const QString last = m_timeTicks.isEmpty() ? QString() : label(m_timeTicks.back(), 0);
    const double left = kMargin + valueTitle + m_valueLabelWidth + kTickGap;
    const double right = kMargin + metrics.horizontalAdvance(last) / 2.0 + 1;
    const double top = kMargin + m_lineHeight / 2.0;
    const double bottom = kMargin + kTickGap / 2.0 + m_lineHeight + timeTitle;
    return QRectF(left, top, std::max(1.0, size.width() - left - right), std::max(1.0, size.height() - top - bottom));
}

void TrendChartPainter::paint(QPainter &painter, QSize size) const
{
    painter.save();
    painter.fillRect(QRect(QPoint(0, 0), size), m_picture.background);
    painter.setFont(m_font);
    const QRectF plot = plotArea(size);
    paintGrid(painter, plot);
    paintLines(painter, plot);
    paintLabels(painter, plot);
    painter.restore();
}

void TrendChartPainter::paintGrid(QPainter &painter, const QRectF &plot) const
{
    // Grid lines on whole pixels, so that they stay one pixel wide and sharp.
    const auto crisp = [](double at) { return std::floor(at) + 0.5; };
    QPen pen(m_picture.grid, 0);
    painter.setPen(pen);
    for (const double tick : m_timeTicks) {
        const double x = crisp(toX(tick, m_picture.time, plot));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    for (const double tick : m_valueTicks) {
        const double y = crisp(toY(tick, m_picture.value, plot));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(crisp(plot.left()), crisp(plot.top()), std::floor(plot.width()), std::floor(plot.height())));
}

void TrendChartPainter::paintLines(QPainter &painter, const QRectF &plot) const
{
    painter.save();
    painter.setClipRect(plot.adjusted(0, -1, 1, 1));
    QPolygonF polygon;
    for (const TrendPicture::Line &line : m_picture.lines) {
        painter.setPen(QPen(line.colour, 1));
        for (const QList<QPointF> &run : line.runs) {
            polygon.resize(run.size());
            for (qsizetype i = 0; i < run.size(); ++i)
                polygon[i] = QPointF(toX(run[i].x(), m_picture.time, plot), toY(run[i].y(), m_picture.value, plot));
            // A value alone between two gaps is a dot, not nothing.
            if (polygon.size() == 1)
                painter.drawPoint(polygon.front());
            else
                painter.drawPolyline(polygon);
        }
    }
    painter.restore();
}

void TrendChartPainter::paintLabels(QPainter &painter, const QRectF &plot) const
{
    painter.setPen(m_picture.text);
    const QFontMetrics metrics(m_font);
    const double labelRight = plot.left() - kTickGap;
    for (qsizetype i = 0; i < m_valueTicks.size(); ++i) {
        const double y = toY(m_valueTicks[i], m_picture.value, plot);
        painter.drawText(QRectF(labelRight - m_valueLabelWidth, y - m_lineHeight / 2.0, m_valueLabelWidth, m_lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter, m_valueLabels[i]);
    }
    const double labelTop = plot.bottom() + kTickGap / 2.0;
    for (const double tick : m_timeTicks) {
        const QString text = label(tick, 0);
        const double width = metrics.horizontalAdvance(text) + 2;
        const double x = toX(tick, m_picture.time, plot);
        painter.drawText(QRectF(x - width / 2, labelTop, width, m_lineHeight), Qt::AlignCenter, text);
    }
    if (!m_picture.timeTitle.isEmpty())
        painter.drawText(QRectF(plot.left(), labelTop + m_lineHeight, plot.width(), m_lineHeight), Qt::AlignCenter,
                         m_picture.timeTitle);
    if (!m_picture.valueTitle.isEmpty()) {
        // Read from below, along the axis, as a value axis's title is.
        painter.save();
        painter.translate(kMargin, plot.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-plot.height() / 2, 0, plot.height(), m_lineHeight), Qt::AlignCenter,
                         metrics.elidedText(m_picture.valueTitle, Qt::ElideRight, static_cast<int>(plot.height())));
        painter.restore();
    }
}

} // namespace kvp
