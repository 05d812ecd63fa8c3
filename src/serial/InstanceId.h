#pragma once

#include <QString>

#include <optional>

namespace kvp {

// What a Windows device instance ID says of a USB serial adapter:
// USB\VID_0403&PID_6001\A12345 or FTDIBUS\VID_0403+PID_6001+A12345A\0000.
struct UsbIds {
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNumber; // empty when Windows made the last part up (it holds '&')
};

// Empty for an ID without VID_ and PID_ (a built-in port: ACPI\PNP0501\0).
std::optional<UsbIds> usbIdsOf(const QString &instanceId);

} // namespace kvp
