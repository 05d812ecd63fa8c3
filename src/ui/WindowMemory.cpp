#include "WindowMemory.h"

#include "TrendPanel.h"
#include "WindowNotices.h"

#include "app/Remembered.h"

#include <QCoreApplication>

namespace kvp {

WindowMemory::WindowMemory(WindowNotices &notices, QObject *parent) : QObject(parent), m_notices(notices) {}

void WindowMemory::saveRead(const QString &port, const QString &address, const CycleSettings &settings)
{
    if (m_on)
        saved(RememberedStore::saveRead(port, address, settings.dropEcho, static_cast<int>(settings.replyTimeout.count())));
}

void WindowMemory::saveLine(const CycleSettings &settings)
{
    if (m_on)
        saved(RememberedStore::saveLine(settings.dropEcho, static_cast<int>(settings.replyTimeout.count())));
}

void WindowMemory::saveModules(const QList<int> &addresses)
{
    if (m_on)
        saved(RememberedStore::saveModules(addresses));
}

void WindowMemory::saveTrend(bool open, const TrendPanel &trend)
{
    if (m_on)
        saved(RememberedStore::saveTrend(
            open, static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(trend.span()).count()),
            trend.allModules()));
}

void WindowMemory::savePosition(QPoint position)
{
    if (m_on)
        saved(RememberedStore::savePosition(position));
}

void WindowMemory::saved(bool ok)
{
    if (ok || m_told)
        return;
    m_told = true;
    m_notices.note(QCoreApplication::translate("kvp", "设置无法保存到 %1").arg(RememberedStore::fileName()),
                   RememberedStore::fileName());
}

} // namespace kvp
