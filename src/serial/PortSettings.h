#pragma once

#include <QSerialPort>
#include <QString>

namespace kvp {

// The module's line: 19200 bit/s, even parity, 8 data bits, 1 stop bit, always.
struct PortSettings {
    QString portName = defaultPortName();
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Port number 1: the machine's first serial port.
    static QString defaultPortName()
    {
#ifdef Q_OS_WIN
        return QStringLiteral("COM1");
#else
        return QStringLiteral("/dev/ttyS0");
#endif
    }
};

} // namespace kvp
