#include "DefaultPort.h"

#include "serial/PortSettings.h"

#include <algorithm>

namespace kvp {

QString defaultPort(const QList<SerialPortEntry> &ports, const QString &remembered)
{
    if (!remembered.isEmpty()
        && std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry &p) { return p.isNamed(remembered); }))
        return remembered;
    const SerialPortEntry *usb = nullptr;
    for (const SerialPortEntry &port : ports) {
        if (!port.isUsb())
            continue;
        if (usb)
            return PortSettings::defaultPortName(); // two adapters: guessing could write to the wrong device
        usb = &port;
    }
    return usb ? usb->name() : PortSettings::defaultPortName();
}

} // namespace kvp
