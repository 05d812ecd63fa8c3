#include "SerialPorts.h"

#include "serial/DeviceIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace kvp {

QString SerialPortEntry::about() const
{
    QStringList about;
    if (!description.isEmpty())
        about << description;
    if (!manufacturer.isEmpty())
        about << manufacturer;
    if (isUsb())
        about << QStringLiteral("USB %1:%2")
                     .arg(*vendorId, 4, 16, QLatin1Char('0'))
                     .arg(*productId, 4, 16, QLatin1Char('0'));
    if (!serialNumber.isEmpty())
        about << QStringLiteral("serial %1").arg(serialNumber);
    return about.join(QStringLiteral(", "));
}

QList<SerialPortEntry> serialPorts()
{
    QMap<QString, QString> stableNames;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        stableNames.insert(link.canonicalFilePath(), link.absoluteFilePath());

    const QList<dev_t> consoles = systemConsoles();
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry port;
        port.device = info.systemLocation();
        port.stableName = stableNames.value(port.device);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        if (const DeviceLookup found = lookUpDevice(port.device); found.characterDevice)
            port.systemConsole = consoles.contains(found.identity.device);
        ports << port;
    }
    return ports;
}

} // namespace kvp
