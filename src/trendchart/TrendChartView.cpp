#include "TrendChartView.h"

#include "TrendChartPainter.h"

#include <QPainter>

namespace kvp {

TrendChartView::TrendChartView(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Every pixel is painted each time: nothing underneath needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont TrendChartView::smallFont() const
{
    QFont small = font();
    small.setPointSizeF(std::max(6.0, font().pointSizeF() - 2));
    return small;
}

int TrendChartView::plotWidth() const
{
    return static_cast<int>(TrendChartPainter(m_picture, smallFont()).plotArea(size()).width());
}

void TrendChartView::draw(const TrendPicture &picture)
{
    m_picture = picture;
    update();
}

void TrendChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // No antialiasing on screen: cheaper, and crisp per pixel column.
    TrendChartPainter(m_picture, smallFont()).paint(painter, size());
}

QImage TrendChartView::image(const TrendPicture &picture, QSize size) const
{
    // The file is looked at larger and closer than the window: its text is larger
    // and its lines smooth.
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() + 2);
    QImage out(size, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    TrendChartPainter(picture, font).paint(painter, size);
    return out;
}

} // namespace kvp
