#pragma once

#include <QString>

namespace kvp {

// The line's parity, in our own terms: each port layer (Qt's on Linux, Win32 on
// Windows, a serial server's COM port option) translates it into its own.
enum class LineParity { none, odd, even, mark, space };

// The module's line: 19200 bit/s, even parity, 8 data bits, 1 stop bit, always.
struct PortSettings {
    QString portName = defaultPortName();
    qint32 baudRate = 19200;
    LineParity parity = LineParity::even;
    int dataBits = 8;
    int stopBits = 1;

    // Port number 1: the machine's first serial port.
    static QString defaultPortName();
};

} // namespace kvp
