#include "Remembered.h"

#include "protocol/Address.h"

#include <QSettings>
#include <QStandardPaths>

namespace kvp {
namespace {

// The range --timeout takes; a hand-edited file cannot widen it.
constexpr int kShortestTimeout = 50;
constexpr int kLongestTimeout = 60000;

const QString kPort = QStringLiteral("read/port");
const QString kAddress = QStringLiteral("read/address");
const QString kEcho = QStringLiteral("read/echo");
const QString kTimeout = QStringLiteral("read/timeoutMs");
const QString kPosition = QStringLiteral("window/position");

QSettings open()
{
    return QSettings(RememberedStore::fileName(), QSettings::IniFormat);
}

} // namespace

QString RememberedStore::fileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/kvp-reader/kvp-reader.conf");
}

Remembered RememberedStore::load()
{
    const QSettings settings = open();
    Remembered last;
    last.port = settings.value(kPort).toString();
    last.address = settings.value(kAddress).toString();
    if (settings.contains(kEcho))
        last.echo = settings.value(kEcho).toBool();
    bool ok = false;
    if (const int ms = settings.value(kTimeout).toInt(&ok); ok)
        last.timeoutMs = ms;
    if (settings.contains(kPosition))
        last.position = settings.value(kPosition).toPoint();
    return last;
}

void RememberedStore::saveRead(const QString &port, const QString &address, bool echo, int timeoutMs)
{
    {
        QSettings settings = open();
        if (!port.isEmpty())
            settings.setValue(kPort, port);
        settings.setValue(kAddress, address);
    }
    saveLine(echo, timeoutMs);
}

void RememberedStore::saveLine(bool echo, int timeoutMs)
{
    QSettings settings = open();
    settings.setValue(kEcho, echo);
    settings.setValue(kTimeout, timeoutMs);
}

void RememberedStore::savePosition(QPoint position)
{
    QSettings settings = open();
    settings.setValue(kPosition, position);
}

Options withRemembered(Options options, const Remembered &last)
{
    if (!options.addressGiven && validAddress(last.address.toStdString()))
        options.address = last.address;
    if (!options.timeoutGiven && last.timeoutMs && *last.timeoutMs >= kShortestTimeout
        && *last.timeoutMs <= kLongestTimeout)
        options.timeoutMs = *last.timeoutMs;
    if (!options.echoGiven && last.echo)
        options.echo = *last.echo;
    return options;
}

} // namespace kvp
