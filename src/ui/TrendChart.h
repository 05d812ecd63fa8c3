#pragma once

#include "TrendPicture.h"

#include <QImage>
#include <QSize>
#include <QtPlugin>

#include <memory>

class QWidget;

namespace kvp {

// The trend's chart, drawn by a library of its own (kvp-trend-chart) that the
// window loads the first time the trend opens, so that a window whose trend stays
// closed does not map it. Only this header is shared between the two.
class TrendChart
{
public:
    virtual ~TrendChart() = default;
    virtual QWidget *widget() = 0;
    // Pixels across the plot: the panel asks for one column of values per pixel.
    virtual int plotWidth() const = 0;
    virtual void draw(const TrendPicture &picture) = 0;
    // The picture alone, drawn off screen at `size` for a file.
    virtual QImage image(const TrendPicture &picture, QSize size) const = 0;
};

class TrendChartFactory
{
public:
    virtual ~TrendChartFactory() = default;
    virtual std::unique_ptr<TrendChart> create(QWidget *parent) = 0;
};

} // namespace kvp

#define KVP_TREND_CHART_IID "kvp-reader.TrendChartFactory/1"
Q_DECLARE_INTERFACE(kvp::TrendChartFactory, KVP_TREND_CHART_IID)
