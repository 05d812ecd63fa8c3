#pragma once

#include "condition/Condition.h"

#include <QSerialPort>

namespace kvp {

// What was true of the device node when the port reported an error.
struct PortFacts {
    bool wasOpen = false;    // the error came from an open port, not from opening it
    bool exists = true;      // the device path is still there
    bool accessible = true;  // we may read and write the device node
};

// The condition a port error means to the user; Condition::none for errors that
// change nothing (a time-out of a blocking call, an unsupported flush).
Condition portCondition(QSerialPort::SerialPortError error, const PortFacts &facts);

} // namespace kvp
