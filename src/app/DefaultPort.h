#pragma once

#include "SerialPorts.h"

namespace kvp {

// The port to open when the command line names none: the one of the last Read if
// it is there, else the only USB serial adapter if there is exactly one, else the
// machine's first serial port.
QString defaultPort(const QList<SerialPortEntry> &ports, const QString &remembered);

} // namespace kvp
