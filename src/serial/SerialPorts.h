#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kvp {

// One serial port of this machine, as the port list and --list-ports show it.
struct SerialPortEntry {
    QString device;     // the node the system gave it, /dev/ttyUSB0 (COM3 on Windows)
    QString stableName; // its /dev/serial/by-id/ link, empty when it has none
    // Windows: the adapter's device instance (USB\VID_0403&PID_6001\A12345), which
    // stays the same when it comes back under its COM number.
    QString instanceId;
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    bool systemConsole = false; // the kernel's console: listed, marked, never chosen or opened

    // The name to open and remember: the by-id name survives replugging, where
    // ttyUSB0 may come back as ttyUSB1.
    QString name() const { return stableName.isEmpty() ? device : stableName; }
    bool isUsb() const { return vendorId.has_value() && productId.has_value(); }
    // Whether `path` names this port, under either of its names.
    bool isNamed(const QString &path) const { return path == device || (!stableName.isEmpty() && path == stableName); }
    // What it is: description, maker, USB ids and serial number, as far as known.
    QString about() const;

    bool operator==(const SerialPortEntry &) const = default;
};

// The serial ports of this machine now.
QList<SerialPortEntry> serialPorts();

} // namespace kvp
