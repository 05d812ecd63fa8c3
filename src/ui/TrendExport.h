#pragma once

#include "TrendPicture.h"

#include "trend/TrendStore.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace kvp {

// What the trend saves: the picture with its caption above the chart, and the
// span's buckets as CSV; and the choice of the file.
class TrendExport
{
    Q_DECLARE_TR_FUNCTIONS(TrendExport)

public:
    // The picture as saved, `width` wide and about `height` high: the caption's
    // header on a line of its own, the modules three to a line, each with the mark
    // of its line's colour, and the chart below, drawn by `chart` at the size asked.
    static QImage picture(const QStringList &caption, const TrendPicture &picture, const QFont &font, int width,
                          int height, const std::function<QImage(QSize)> &chart);
    // Each module of `addresses` over the span up to `end`, its address after the
    // time, as in the value log; wall-clock times.
    static std::string csv(const TrendStore &store, const std::vector<int> &addresses, TrendSeries::TimePoint end,
                           TrendSeries::Duration span);
    // Empty when saved, else the reason: `render` draws the picture, or says why not.
    static QString savePng(const QString &path, const std::function<QImage(QString &reason)> &render);
    static QString saveCsv(const QString &path, const std::string &text);
    // Asks for the file to save to (empty: the user cancelled), and says why it
    // could not be saved when `save` gives a reason.
    static void chooseAndSave(QWidget *parent, bool png, const std::function<QString(const QString &)> &save);
};

} // namespace kvp
