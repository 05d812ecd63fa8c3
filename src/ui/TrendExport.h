#pragma once

#include "TrendPicture.h"

#include "reader/EngineeringUnits.h"
#include "trend/TrendStore.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QList>
#include <QRect>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QFontMetrics;
class QWidget;

namespace kvp {

// What the trend saves: the picture with its caption above the chart, and the
// span's buckets as CSV; and the choice of the file.
class TrendExport
{
    Q_DECLARE_TR_FUNCTIONS(TrendExport)

public:
    // Where each line of the caption is written in a picture `width` wide: the header
    // across, then the modules as many to a row as the widest of them leaves room for
    // (three at most), each after the mark of its line's colour. A line too long even
    // for a row of its own wraps: nothing is cut.
    static QList<QRect> captionCells(const QStringList &caption, const QFontMetrics &metrics, int width);
    // The picture as saved, `width` wide and about `height` high: the caption, and
    // the chart below, drawn by `chart` at the size asked.
    static QImage picture(const QStringList &caption, const TrendPicture &picture, const QFont &font, int width,
                          int height, const std::function<QImage(QSize)> &chart);
    // Each module of `addresses` over the span up to `end`, its address after the
    // time, as in the value log; wall-clock times. The counts first (the columns a
    // reader of older files knows), then the same in the module's units, as shown.
    static std::string csv(const TrendStore &store, const std::vector<int> &addresses, TrendSeries::TimePoint end,
                           TrendSeries::Duration span, const std::function<EngineeringUnits(int)> &unitsOf);
    // Empty when saved, else the reason: `render` draws the picture, or says why not.
    // A file is replaced whole or not at all: one that could not be drawn or written
    // keeps what it held.
    static QString savePng(const QString &path, const std::function<QImage(QString &reason)> &render);
    static QString saveCsv(const QString &path, const std::string &text);
    // Asks for the file to save to (empty: the user cancelled), and hands `failed`
    // the file and the reason when `save` gives one.
    static void chooseAndSave(QWidget *parent, bool png, const std::function<QString(const QString &)> &save,
                              const std::function<void(const QString &file, const QString &reason)> &failed);
};

} // namespace kvp
