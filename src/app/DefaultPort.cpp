#include "DefaultPort.h"

#include "network/NetworkAddress.h"
#include "serial/PortSettings.h"

#include <algorithm>

namespace kvp {

QString firstSerialPort(const QList<SerialPortEntry> &ports)
{
    const QString first = PortSettings::defaultPortName();
    const auto isConsole = [&](const SerialPortEntry &p) { return p.isNamed(first) && p.systemConsole; };
    if (std::none_of(ports.begin(), ports.end(), isConsole))
        return first;
    for (const SerialPortEntry &port : ports) {
        if (!port.systemConsole && !port.isUsb())
            return port.name();
    }
    return first;
}

QString defaultPort(const QList<SerialPortEntry> &ports, const QString &remembered)
{
    // A serial server is in no list of this machine's ports; it is tried as it is.
    if (NetworkAddress::isServer(remembered))
        return remembered;
    if (!remembered.isEmpty() && std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry &p) {
            return p.isNamed(remembered) && !p.systemConsole;
        }))
        return remembered;
    const SerialPortEntry *usb = nullptr;
    for (const SerialPortEntry &port : ports) {
        if (!port.isUsb() || port.systemConsole) // a board's USB console is still the console
            continue;
        if (usb)
            return firstSerialPort(ports); // two adapters: guessing could write to the wrong device
        usb = &port;
    }
    return usb ? usb->name() : firstSerialPort(ports);
}

} // namespace kvp
