#include "Failure.h"

#include <QFileInfo>

namespace kvp {

QString failureMessage(Failure failure, const QString &device, const QString &detail)
{
    QString text;
    switch (failure) {
    case Failure::none:
        return {};
    case Failure::portMissing:
        text = QStringLiteral("Serial port %1 does not exist. Check that the adapter is plugged in, "
                              "and list the ports of this machine with --list-ports.");
        break;
    case Failure::permissionDenied:
    {
        // Name the group that really owns the device; on Debian it is usually dialout.
        QString group = QFileInfo(device).group();
        if (group.isEmpty() || group == QLatin1String("root"))
            group = QStringLiteral("dialout");
        text = QStringLiteral("No permission to open serial port %1. Add your user to the group '%2' "
                              "that owns it (sudo adduser $USER %2), then log out and in again.")
                   .arg(QStringLiteral("%1"), group);
        break;
    }
    case Failure::portInUse:
        text = QStringLiteral("Serial port %1 is in use by another program. Close that program "
                              "(or the other kvp-reader) and try again.");
        break;
    case Failure::portSetup:
        text = QStringLiteral("Serial port %1 does not accept 19200 bit/s, even parity, 8 data bits, "
                              "1 stop bit. Check that it is a serial port and its driver is working.");
        break;
    case Failure::deviceRemoved:
        text = QStringLiteral("Serial port %1 went away while it was open (adapter unplugged?). "
                              "Waiting for it to come back: plug it in again.");
        break;
    case Failure::writeFailed:
        text = QStringLiteral("Could not send on serial port %1. Check the cable and the adapter; "
                              "waiting for the port to work again.");
        break;
    case Failure::invalidAddress:
        return QStringLiteral("KV-P地址必须是 0 到 31 之间的数字");
    case Failure::logFile:
        text = QStringLiteral("Cannot write the value log %1. Choose a file in a folder you may "
                              "write to.");
        break;
    }
    text = text.arg(device);
    if (!detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(detail);
    return text;
}

} // namespace kvp
