#include "SerialPorts.h"

#include "InstanceId.h"

#include <QMap>

#include <windows.h>
// After windows.h:
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

namespace kvp {
namespace {

QString registryString(HKEY key, const wchar_t *name)
{
    wchar_t value[256];
    DWORD type = 0;
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    value[size / sizeof(wchar_t)] = 0;
    return QString::fromWCharArray(value);
}

QString deviceProperty(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property)
{
    wchar_t value[512];
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE *>(value),
                                           sizeof value - sizeof(wchar_t), nullptr)
        || (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    value[std::size(value) - 1] = 0;
    return QString::fromWCharArray(value); // the first string of a multi-string
}

// The ports Windows' device manager shows under "Ports (COM & LPT)", with their
// friendly names ("USB Serial Port (COM3)"), makers and USB ids.
void addPlugAndPlayPorts(QList<SerialPortEntry> &ports)
{
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const QString name = registryString(key, L"PortName");
        RegCloseKey(key);
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue; // a printer port (LPT1)
        SerialPortEntry port;
        port.device = name;
        port.description = deviceProperty(set, device, SPDRP_FRIENDLYNAME);
        if (port.description.isEmpty())
            port.description = deviceProperty(set, device, SPDRP_DEVICEDESC);
        port.manufacturer = deviceProperty(set, device, SPDRP_MFG);
        wchar_t instance[512];
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance, DWORD(std::size(instance)), nullptr))
            port.instanceId = QString::fromWCharArray(instance);
        if (const std::optional<UsbIds> usb = usbIdsOf(port.instanceId)) {
            port.vendorId = usb->vendorId;
            port.productId = usb->productId;
            port.serialNumber = usb->serialNumber;
        }
        ports << port;
    }
    SetupDiDestroyDeviceInfoList(set);
}

// Every COM port a driver made, Plug and Play or not (a virtual port, Wine's).
void addDeviceMapPorts(QList<SerialPortEntry> &ports)
{
    HKEY map = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameSize = DWORD(std::size(valueName));
        wchar_t data[64];
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result =
            RegEnumValueW(map, i, valueName, &nameSize, nullptr, &type, reinterpret_cast<BYTE *>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize / sizeof(wchar_t)] = 0;
        const QString name = QString::fromWCharArray(data);
        if (std::none_of(ports.begin(), ports.end(), [&](const SerialPortEntry &p) { return p.device == name; })) {
            SerialPortEntry port;
            port.device = name;
            ports << port;
        }
    }
    RegCloseKey(map);
}

int portNumber(const QString &name)
{
    return name.mid(3).toInt();
}

} // namespace

QList<SerialPortEntry> serialPorts()
{
    QList<SerialPortEntry> ports;
    addPlugAndPlayPorts(ports);
    addDeviceMapPorts(ports);
    // COM2 before COM10, as the user counts them.
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry &a, const SerialPortEntry &b) { return portNumber(a.device) < portNumber(b.device); });
    return ports;
}

} // namespace kvp
