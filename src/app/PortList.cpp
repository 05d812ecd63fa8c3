#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace kvp {

QString portListing()
{
    // A by-id name survives replugging, where ttyUSB0 may become ttyUSB1.
    QMap<QString, QString> stableNames;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        stableNames.insert(link.canonicalFilePath(), link.absoluteFilePath());

    QString out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        const QString device = port.systemLocation();
        out += stableNames.value(device, device);
        if (stableNames.contains(device))
            out += QStringLiteral(" (%1)").arg(device);
        QStringList about;
        if (!port.description().isEmpty())
            about << port.description();
        if (!port.manufacturer().isEmpty())
            about << port.manufacturer();
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            about << QStringLiteral("USB %1:%2")
                         .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                         .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
        if (!port.serialNumber().isEmpty())
            about << QStringLiteral("serial %1").arg(port.serialNumber());
        if (!about.isEmpty())
            out += QStringLiteral("  ") + about.join(QStringLiteral(", "));
        out += QLatin1Char('\n');
    }
    if (ports.isEmpty())
        out = QStringLiteral("No serial ports found. Plug in the adapter, or use --simulate to try "
                             "the program without one.\n");
    return out;
}

} // namespace kvp
