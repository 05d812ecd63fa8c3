#include "PortList.h"

#include "serial/SerialPorts.h"

namespace kvp {

QString portListing()
{
    QString out;
    const auto ports = serialPorts();
    for (const SerialPortEntry &port : ports) {
        out += port.name();
        if (!port.stableName.isEmpty())
            out += QStringLiteral(" (%1)").arg(port.device);
        if (port.systemConsole)
            out += QStringLiteral("  SYSTEM CONSOLE, never opened");
        if (const QString about = port.about(); !about.isEmpty())
            out += QStringLiteral("  ") + about;
        out += QLatin1Char('\n');
    }
    if (ports.isEmpty())
        out = QStringLiteral("No serial ports found. Plug in the adapter, or use --simulate to try "
                             "the program without one.\n");
    return out;
}

} // namespace kvp
