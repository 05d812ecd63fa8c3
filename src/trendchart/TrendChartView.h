#pragma once

#include "ui/TrendChart.h"

#include <QChartView>

#include <optional>
#include <vector>

class QLineSeries;
class QValueAxis;

namespace kvp {

// The trend's picture in Qt Charts: one series per run of a line (a gap breaks the
// line), both axes with their ticks and titles, in the colours the panel chose.
class TrendChartView : public QChartView, public TrendChart
{
public:
    explicit TrendChartView(QWidget *parent);

    QWidget *widget() override { return this; }
    int plotWidth() const override;
    void draw(const TrendPicture &picture) override;
    QImage image(const TrendPicture &picture, QSize size) const override;

private:
    void applyLook(const TrendPicture &picture);
    static void setAxis(QValueAxis *axis, const AxisRange &range);

    QChart *m_chart;
    QValueAxis *m_timeAxis;
    QValueAxis *m_valueAxis;
    std::vector<QLineSeries *> m_series;
    std::optional<bool> m_dark; // the theme set last
    QColor m_background, m_text, m_grid;
    qreal m_fontPoints = 7;
};

} // namespace kvp
