#include "TrendChartPlugin.h"

#include "TrendChartView.h"

namespace kvp {

std::unique_ptr<TrendChart> TrendChartPlugin::create(QWidget *parent)
{
    return std::make_unique<TrendChartView>(parent);
}

} // namespace kvp
