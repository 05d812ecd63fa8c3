#pragma once

#include "ui/TrendChart.h"

#include <QWidget>

namespace kvp {

// The trend's picture on screen: the panel hands it over, the widget paints it
// (TrendChartPainter), and paints the same picture again at another size for a file.
class TrendChartView : public QWidget, public TrendChart
{
public:
    explicit TrendChartView(QWidget *parent);

    QWidget *widget() override { return this; }
    int plotWidth() const override;
    void draw(const TrendPicture &picture) override;
    QImage image(const TrendPicture &picture, QSize size) const override;

    QSize sizeHint() const override { return {600, 400}; }
    QSize minimumSizeHint() const override { return {68, 68}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Labels and titles a little smaller than the window's text, as a chart's are.
    QFont smallFont() const;

    TrendPicture m_picture;
};

} // namespace kvp
