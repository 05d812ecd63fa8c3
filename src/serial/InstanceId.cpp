#include "InstanceId.h"

#include <QRegularExpression>

namespace kvp {

std::optional<UsbIds> usbIdsOf(const QString &instanceId)
{
    static const QRegularExpression ids(QStringLiteral("VID_([0-9A-F]{4})[&+]PID_([0-9A-F]{4})(?:[&+]MI_[0-9A-F]{2})?"
                                                       "(?:\\+([^\\\\]+))?(?:\\\\(.*))?$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = ids.match(instanceId);
    if (!match.hasMatch())
        return std::nullopt;
    UsbIds found;
    found.vendorId = static_cast<quint16>(match.captured(1).toUInt(nullptr, 16));
    found.productId = static_cast<quint16>(match.captured(2).toUInt(nullptr, 16));
    // A driver of its own (FTDI's) puts the chip's serial number in the middle part;
    // Windows' USB driver puts it last, or a made-up "6&2b3c...&0&1" when the chip has none.
    QString serial = match.captured(3);
    if (serial.isEmpty())
        serial = match.captured(4);
    if (serial.contains(QLatin1Char('&')) || serial.contains(QLatin1Char('\\')))
        serial.clear();
    // FTDI's driver adds the port's letter (A) to the chip's number.
    if (!match.captured(3).isEmpty() && serial.size() > 1 && serial.endsWith(QLatin1Char('A')))
        serial.chop(1);
    found.serialNumber = serial;
    return found;
}

} // namespace kvp
