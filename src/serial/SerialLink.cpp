#include "SerialLink.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kvp {
namespace {

// Qt takes "ttyUSB0" and "COM3" as well as a full path.
QString systemLocation(const QString &portName)
{
#ifdef Q_OS_UNIX
    if (!portName.startsWith(QLatin1Char('/')))
        return QStringLiteral("/dev/") + portName;
#endif
    return portName;
}

} // namespace

SerialLink::SerialLink(QObject *parent) : QObject(parent)
{
    connect(&ctrMSComm, &QSerialPort::readyRead, this, &SerialLink::ctrMSComm_OnComm);
    connect(&ctrMSComm, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

Failure SerialLink::InitPort(const PortSettings &settings)
{
    if (!ctrMSComm.isOpen()) {
        m_settings = settings;
        ctrMSComm.setPortName(settings.portName);
        ctrMSComm.setBaudRate(settings.baudRate);
        ctrMSComm.setParity(settings.parity);
        ctrMSComm.setDataBits(settings.dataBits);
        ctrMSComm.setStopBits(settings.stopBits);
        // Flow control, modem lines and buffer sizes stay as the port has them.
        if (!ctrMSComm.open(QIODevice::ReadWrite)) {
            m_errorDetail = ctrMSComm.errorString();
            const Failure failure = classifyOpenError(ctrMSComm.error());
            ctrMSComm.clearError();
            return failure;
        }
    }
    discardInput();
    return Failure::none;
}

void SerialLink::WritePort(const std::string &str)
{
    if (!ctrMSComm.isOpen())
        return;
    const QByteArray bytes(str.data(), static_cast<qsizetype>(str.size()));
    if (ctrMSComm.write(bytes) != bytes.size()) {
        m_errorDetail = ctrMSComm.errorString();
        close();
        emit failed(Failure::writeFailed);
        return;
    }
    // QSerialPort queues writes for the next turn of the event loop; flush() puts the
    // command on the line now, a round trip less per value. A failing write shows up
    // in onError().
    ctrMSComm.flush();
}

void SerialLink::discardInput()
{
    ctrMSComm.clear(QSerialPort::Input);
    ctrMSComm.skip(ctrMSComm.bytesAvailable());
}

void SerialLink::close()
{
    if (ctrMSComm.isOpen())
        ctrMSComm.close();
}

void SerialLink::ctrMSComm_OnComm()
{
    // The count is read before the take, as the module protocol has always done;
    // a flood can bring more than 16 bits can count, so it is capped, not wrapped.
    const qint64 waiting = ctrMSComm.bytesAvailable();
    const auto count = static_cast<qint16>(std::min<qint64>(waiting, std::numeric_limits<qint16>::max()));
    const QByteArray bytes = ctrMSComm.readAll();
    emit received(bytes, count);
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    // Open errors are returned by InitPort; what is left here happens on an open port.
    if (error == QSerialPort::NoError || !ctrMSComm.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError
        && error != QSerialPort::ReadError)
        return; // timeouts and the like change nothing for us
    m_errorDetail = ctrMSComm.errorString();
    const Failure failure = error == QSerialPort::WriteError ? Failure::writeFailed : Failure::deviceRemoved;
    // Closing from inside the error signal is safe: QSerialPort is done with the call.
    close();
    emit failed(failure);
}

Failure SerialLink::classifyOpenError(QSerialPort::SerialPortError error) const
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return Failure::portMissing;
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        // Qt reports a port locked by another program as a permission error too;
        // if we may open the device node, it is the lock that stopped us.
        if (::access(systemLocation(m_settings.portName).toLocal8Bit().constData(), R_OK | W_OK) == 0)
            return Failure::portInUse;
#endif
        return Failure::permissionDenied;
    case QSerialPort::OpenError:
        return Failure::portInUse;
    default:
        return QFileInfo::exists(systemLocation(m_settings.portName)) ? Failure::portSetup
                                                                      : Failure::portMissing;
    }
}

} // namespace kvp
