#include "PortCondition.h"

namespace kvp {
namespace {

Condition whileOpen(QSerialPort::SerialPortError error, const PortFacts &facts)
{
    switch (error) {
    case QSerialPort::ResourceError: // a USB adapter pulled out
    case QSerialPort::ReadError:     // a pseudo-terminal hung up
        return Condition::deviceRemoved;
    case QSerialPort::WriteError:
        return facts.exists ? Condition::writeFailed : Condition::deviceRemoved;
    default:
        return Condition::none;
    }
}

Condition whileOpening(QSerialPort::SerialPortError error, const PortFacts &facts)
{
    switch (error) {
    case QSerialPort::NoError:
        return Condition::none;
    case QSerialPort::DeviceNotFoundError:
        return Condition::portMissing;
    case QSerialPort::PermissionError:
        // Qt reports a port locked by another program as a permission error too;
        // if we may open the device node, it is the lock that stopped us.
        return facts.accessible ? Condition::portInUse : Condition::permissionDenied;
    case QSerialPort::OpenError:
        return Condition::portInUse;
    default:
        return facts.exists ? Condition::portSetup : Condition::portMissing;
    }
}

} // namespace

Condition portCondition(QSerialPort::SerialPortError error, const PortFacts &facts)
{
    if (error == QSerialPort::NoError)
        return Condition::none;
    return facts.wasOpen ? whileOpen(error, facts) : whileOpening(error, facts);
}

} // namespace kvp
