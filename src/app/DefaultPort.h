#pragma once

#include "serial/SerialPorts.h"

namespace kvp {

// The port to open when the command line names none: the one of the last Read if
// it is there, else the only USB serial adapter if there is exactly one, else
// firstSerialPort(). The system console is never one of them.
QString defaultPort(const QList<SerialPortEntry> &ports, const QString &remembered);

// The machine's first serial port, /dev/ttyS0, unless that is the system console:
// then the first built-in port that is not. When there is none, still /dev/ttyS0,
// which the port then refuses to open, saying why.
QString firstSerialPort(const QList<SerialPortEntry> &ports);

} // namespace kvp
