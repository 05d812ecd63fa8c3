#include "SerialPorts.h"

#include <QStringList>

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

} // namespace kvp
