#include "SerialLink.h"

#include "DeviceIdentity.h"
#include "platform/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

QSerialPort::Parity qtParity(LineParity parity)
{
    switch (parity) {
    case LineParity::odd:
        return QSerialPort::OddParity;
    case LineParity::even:
        return QSerialPort::EvenParity;
    case LineParity::mark:
        return QSerialPort::MarkParity;
    case LineParity::space:
        return QSerialPort::SpaceParity;
    case LineParity::none:
        break;
    }
    return QSerialPort::NoParity;
}

#ifdef Q_OS_UNIX
// Qt words a lack of descriptors as a busy or locked port; ask the system directly.
int descriptorShortage()
{
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe >= 0) {
        ::close(probe);
        return 0;
    }
    return errno == EMFILE || errno == ENFILE ? errno : 0;
}
#endif

} // namespace

SerialLink::SerialLink(QObject *parent) : Link(parent)
{
    connect(&ctrMSComm, &QSerialPort::readyRead, this, &SerialLink::ctrMSComm_OnComm);
    connect(&ctrMSComm, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

Condition SerialLink::InitPort(const PortSettings &settings)
{
    if (!ctrMSComm.isOpen()) {
        if (settings.portName != m_settings.portName)
            m_identity.reset();
        m_settings = settings;
        if (const Condition refused = checkDevice(); refused != Condition::none)
            return refused;
        ctrMSComm.setPortName(settings.portName);
        ctrMSComm.setBaudRate(settings.baudRate);
        // A pseudo-terminal drops the parity bit whatever is asked, and the C library
        // fails a tcsetattr() none of whose changes took. After a reader that was
        // killed (and so never put the line back) the parity bit is the only change
        // left to ask for, and every later open failed with EINVAL. So ask a
        // pseudo-terminal for what it really does: no parity.
        const bool pseudo = m_opening && isPseudoTerminal(m_opening->device);
        ctrMSComm.setParity(pseudo ? QSerialPort::NoParity : qtParity(settings.parity));
        ctrMSComm.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
        ctrMSComm.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
        // Flow control, modem lines and buffer sizes stay as the port has them.
        if (!ctrMSComm.open(QIODevice::ReadWrite)) {
#ifdef Q_OS_UNIX
            const int openError = errno; // Qt may run out after the port's own descriptor
#endif
            m_errorDetail = ctrMSComm.errorString();
#ifdef Q_OS_UNIX
            const bool outOfDescriptors = openError == EMFILE || openError == ENFILE;
            if (const int shortage = outOfDescriptors ? openError : descriptorShortage(); shortage != 0) {
                ctrMSComm.clearError();
                m_errorDetail = systemErrorText(shortage);
                return Condition::tooManyFiles;
            }
#endif
            const Condition failure = portCondition(ctrMSComm.error(), factsNow(false));
            ctrMSComm.clearError();
            return failure;
        }
        if (!m_identity)
            m_identity = m_opening;
    }
    discardInput();
    return Condition::none;
}

Condition SerialLink::openChosen(const PortSettings &settings)
{
    const std::optional<DeviceIdentity> had = m_identity;
    const bool samePath = settings.portName == m_settings.portName;
    m_identity.reset();
    const Condition failure = InitPort(settings);
    if (failure != Condition::none && samePath)
        m_identity = had;
    return failure;
}

void SerialLink::WritePort(const std::string &str)
{
    if (!ctrMSComm.isOpen())
        return;
    const QByteArray bytes(str.data(), static_cast<qsizetype>(str.size()));
    if (ctrMSComm.write(bytes) != bytes.size()) {
        // No system call failed here: the port refused the bytes, and its error text
        // would be whatever failed before.
        const bool gone = !factsNow(true).exists;
        m_errorDetail = gone ? removalReason() : QStringLiteral("the port took no bytes");
        close();
        emit failed(gone ? Condition::deviceRemoved : Condition::writeFailed);
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
    if (!ctrMSComm.isOpen())
        return;
    const Condition failure = portCondition(error, factsNow(true));
    if (failure == Condition::none)
        return;
    // Qt takes its reason from errno even after a read that returned 0 (a hang-up),
    // so it is whatever failed last; a removal is worded from the path as it is now,
    // the same whichever call noticed it.
    m_errorDetail = failure == Condition::deviceRemoved ? removalReason() : ctrMSComm.errorString();
    // Closing from inside the error signal is safe: QSerialPort is done with the call.
    close();
    emit failed(failure);
}

Condition SerialLink::checkDevice()
{
    m_opening.reset();
#ifdef Q_OS_UNIX
    const DeviceLookup found = lookUpDevice(systemLocation(m_settings.portName));
    if (found.error == ENAMETOOLONG) {
        m_errorDetail = systemErrorText(found.error);
        return Condition::pathTooLong;
    }
    // Anything else that is not a device is left to the port's own open, which names it.
    if (!found.characterDevice)
        return Condition::none;
    m_errorDetail.clear();
    if (isTerminalOfUser(found.identity.device, terminalsOfThisProcess()))
        return Condition::portIsTerminal;
    if (systemConsoles().contains(found.identity.device))
        return Condition::portIsConsole;
    if (m_identity) {
        switch (sameDevice(*m_identity, found.identity)) {
        case Sameness::same:
            break;
        case Sameness::other:
            return Condition::portChanged;
        case Sameness::notYetKnown:
            return Condition::portMissing; // udev is still naming it; look again later
        }
    }
    m_opening = found.identity;
#endif
    return Condition::none;
}

QString SerialLink::removalReason() const
{
#ifdef Q_OS_UNIX
    if (const DeviceLookup now = lookUpDevice(systemLocation(m_settings.portName)); now.error != 0)
        return systemErrorText(now.error); // errno of that very look-up
#endif
    return QStringLiteral("the device hung up");
}

PortFacts SerialLink::factsNow(bool wasOpen) const
{
    const QString path = systemLocation(m_settings.portName);
    PortFacts facts;
    facts.wasOpen = wasOpen;
    facts.exists = QFileInfo::exists(path);
#ifdef Q_OS_UNIX
    facts.accessible = ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#endif
    return facts;
}

} // namespace kvp
