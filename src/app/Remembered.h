#pragma once

#include "Options.h"

#include <QList>
#include <QPoint>
#include <QString>

#include <map>
#include <optional>

namespace kvp {

// What the window keeps from one run to the next: the port and the line settings of
// the last Read, and where the window was.
struct Remembered {
    QString port;
    QString address;
    std::optional<bool> echo;
    std::optional<int> timeoutMs;
    std::optional<QPoint> position;
    QList<int> modules; // the window's list of modules on the line
    std::optional<int> intervalMs;
    std::map<int, ReadoutSettings> readouts; // units and limits, by address
    // The trend: open or not, its span (10 to 3600 s), every module or the box's.
    std::optional<bool> trendOpen;
    std::optional<int> trendSpanSeconds;
    std::optional<bool> trendAllModules;
};

// The file that keeps it: kvp-reader/kvp-reader.conf under $XDG_CONFIG_HOME
// (~/.config when that is not set), looked up afresh on every use.
class RememberedStore
{
public:
    static QString fileName();

    static Remembered load();
    // False when the file could not be written (a folder that cannot be made, a
    // read-only disk).
    static bool saveRead(const QString &port, const QString &address, bool echo, int timeoutMs);
    static bool saveLine(bool echo, int timeoutMs);
    static bool savePosition(QPoint position);
    static bool saveModules(const QList<int> &addresses);
    static bool saveInterval(int intervalMs);
    // The module's units and limits; the defaults remove its entry.
    static bool saveReadout(int address, const ReadoutSettings &settings);
    static bool saveTrend(bool isOpen, int spanSeconds, bool allModules);
};

// The options of this run: what the command line gave wins, the rest comes from
// last time where last time left something valid. The port is left to defaultPort().
Options withRemembered(Options options, const Remembered &last);

} // namespace kvp
