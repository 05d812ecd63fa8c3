#pragma once

#include "ui/TrendChart.h"

#include <QObject>

namespace kvp {

// What the window finds in kvp-trend-chart: it makes the chart.
class TrendChartPlugin : public QObject, public TrendChartFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KVP_TREND_CHART_IID)
    Q_INTERFACES(kvp::TrendChartFactory)

public:
    std::unique_ptr<TrendChart> create(QWidget *parent) override;
};

} // namespace kvp
