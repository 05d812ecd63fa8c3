#pragma once

#include "trend/TrendAxis.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>

namespace kvp {

// Everything the trend's chart draws, worked out by the panel: the chart library
// only puts it on screen, so what is drawn can be tested without it.
struct TrendPicture {
    struct Line {
        int address = 0;
        QColor colour;
        // x in seconds before the end (negative), y the value; a gap separates runs.
        QList<QList<QPointF>> runs;
    };
    QList<Line> lines;
    AxisRange time;  // seconds, up to 0
    AxisRange value;
    int valueDecimals = 0;
    QString timeTitle;
    QString valueTitle;
    QColor background;
    QColor text;
    QColor grid;
    bool dark = false;
};

} // namespace kvp
