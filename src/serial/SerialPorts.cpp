#include "SerialPorts.h"

#include "DeviceIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace kvp {

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
