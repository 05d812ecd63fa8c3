#include "TrendChartView.h"

#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

namespace kvp {

TrendChartView::TrendChartView(QWidget *parent)
    : QChartView(parent), m_chart(new QChart), m_timeAxis(new QValueAxis), m_valueAxis(new QValueAxis)
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
    setChart(m_chart);
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

    m_timeAxis->setRange(picture.time.low, picture.time.high);
    m_timeAxis->setTickInterval(picture.time.step);
    m_timeAxis->setTitleText(picture.timeTitle);
    m_valueAxis->setRange(picture.value.low, picture.value.high);
    m_valueAxis->setTickInterval(picture.value.step);
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
    view.setRenderHint(QPainter::Antialiasing, true);
    view.resize(size);
    view.draw(picture);
    QImage out(size, QImage::Format_RGB32);
    out.fill(picture.background);
    QPainter painter(&out);
    view.render(&painter);
    return out;
}

} // namespace kvp
