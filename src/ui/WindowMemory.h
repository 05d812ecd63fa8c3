#pragma once

#include "reader/CycleSettings.h"

#include <QList>
#include <QObject>
#include <QPoint>

namespace kvp {

class TrendPanel;
class WindowNotices;

// What the window keeps for its next start: the port and address of a Read, the
// line's settings, the list of modules, the trend's choice and where the window
// was. A settings file that cannot be written is said once, on the status line:
// the next run will not start where this one was, which is worth knowing but not
// worth a message box on every Read.
class WindowMemory : public QObject
{
    Q_OBJECT

public:
    WindowMemory(WindowNotices &notices, QObject *parent);

    // Off until the window's start has been restored from it.
    void setOn(bool on) { m_on = on; }
    void saveRead(const QString &port, const QString &address, const CycleSettings &settings);
    void saveLine(const CycleSettings &settings);
    void saveModules(const QList<int> &addresses);
    void saveTrend(bool open, const TrendPanel &trend);
    void savePosition(QPoint position);

private:
    void saved(bool ok);

    WindowNotices &m_notices;
    bool m_on = false;
    bool m_told = false;
};

} // namespace kvp
