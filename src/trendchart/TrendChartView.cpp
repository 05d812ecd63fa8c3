#include "TrendChartView.h"

#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

namespace kvp {

TrendChartView::TrendChartView(QWidget *parent)
    // The chart is handed to the view as it is made: a view made without one makes a
    // chart of its own, which setChart() would release without deleting.
    : QChartView(new QChart, parent), m_chart(chart()), m_timeAxis(new QValueAxis), m_valueAxis(new QValueAxis)
{
    m_chart->legend()->hide(); // the panel names the lines, in a row that wraps
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    m_chart->setBackgroundRoundness(0);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    // Ticks at whole multiples of the step, wherever the range starts: the labels
    // stay put while the range holds.
    for (QValueAxis *axis : {m_timeAxis, m_valueAxis}) {
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
    }
    m_timeAxis->setLabelFormat(QStringLiteral("%.0f"));
    setRenderHint(QPainter::Antialiasing, false); // cheaper, and crisp per pixel column
    setFrameShape(QFrame::NoFrame);
}

int TrendChartView::plotWidth() const
{
    return static_cast<int>(m_chart->plotArea().width());
}

void TrendChartView::applyLook(const TrendPicture &picture)
{
    if (m_dark != picture.dark) {
        // A theme resets fonts, brushes and pens; what follows sets them again.
        m_chart->setTheme(picture.dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        m_dark = picture.dark;
        m_background = QColor();
    }
    if (m_background == picture.background && m_text == picture.text && m_grid == picture.grid
        && m_fontPoints == font().pointSizeF())
        return;
    m_background = picture.background;
    m_text = picture.text;
    m_grid = picture.grid;
    m_fontPoints = font().pointSizeF();
    m_chart->setBackgroundBrush(m_background);
    m_chart->setPlotAreaBackgroundVisible(false);
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() - 2));
    for (QValueAxis *axis : {m_timeAxis, m_valueAxis}) {
        axis->setLabelsFont(small);
        axis->setTitleFont(small);
        axis->setLabelsBrush(m_text);
        axis->setTitleBrush(m_text);
        axis->setLinePenColor(m_grid);
        axis->setGridLineColor(m_grid);
    }
}

void TrendChartView::setAxis(QValueAxis *axis, const AxisRange &range)
{
    // The axis makes an item per tick at once, for the range and step it has at
    // that moment: a finer step over the old, wider range (or a wider range at the
    // old, finer step) would ask for millions. Whichever goes first keeps the count
    // at most that of the old or the new axis.
    if (range.step >= axis->tickInterval()) {
        axis->setTickInterval(range.step);
        axis->setRange(range.low, range.high);
    } else {
        axis->setRange(range.low, range.high);
        axis->setTickInterval(range.step);
    }
}

void TrendChartView::draw(const TrendPicture &picture)
{
    applyLook(picture);
    std::size_t used = 0;
    for (const TrendPicture::Line &line : picture.lines) {
        for (const QList<QPointF> &run : line.runs) {
            if (used == m_series.size()) {
                auto *series = new QLineSeries(m_chart);
                m_chart->addSeries(series);
                series->attachAxis(m_timeAxis);
                series->attachAxis(m_valueAxis);
                m_series.push_back(series);
            }
            QLineSeries *series = m_series[used++];
            if (series->pen().color() != line.colour)
                series->setPen(QPen(line.colour, 1));
            series->replace(run);
        }
    }
    for (std::size_t k = used; k < m_series.size(); ++k)
        if (m_series[k]->count() > 0)
            m_series[k]->clear();

    setAxis(m_timeAxis, picture.time);
    m_timeAxis->setTitleText(picture.timeTitle);
    setAxis(m_valueAxis, picture.value);
    m_valueAxis->setLabelFormat(QStringLiteral("%.%1f").arg(picture.valueDecimals));
    m_valueAxis->setTitleText(picture.valueTitle);
}

QImage TrendChartView::image(const TrendPicture &picture, QSize size) const
{
    // A chart of its own, so the one on screen keeps its size and its series.
    TrendChartView view(nullptr);
    QFont bigger = font();
    bigger.setPointSizeF(font().pointSizeF() + 2);
    view.setFont(bigger);
    view.draw(picture);
    // Laid out now, at the file's size: a view never shown gets no resize event.
    view.m_chart->resize(QSizeF(size));
    view.m_chart->layout()->activate();
    QImage out(size, QImage::Format_RGB32);
    out.fill(picture.background);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing, true);
    view.scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), QRectF(QPointF(0, 0), QSizeF(size)));
    return out;
}

} // namespace kvp
