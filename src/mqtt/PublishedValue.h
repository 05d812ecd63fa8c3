#pragma once

#include <QDateTime>
#include <QString>

namespace kvp {

// One value as it is published: what the module sent (`raw`), the text the reader
// shows for it (`valueText`, scaled when units are set) with its unit, and the
// module's state when it came.
struct PublishedValue {
    int address = 0;
    QString raw;
    QString valueText;
    QString unit;
    QString state = QStringLiteral("live");
    QDateTime time;
};

} // namespace kvp
