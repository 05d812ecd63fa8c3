#include "CommPortLink.h"

#include "CommError.h"
#include "SerialPorts.h"
#include "platform/WinErrorText.h"

#include <QWinEventNotifier>

#include <algorithm>
#include <limits>

namespace kvp {
namespace {

// COM10 and above open only in the device namespace's form; every port opens in it.
std::wstring devicePath(const QString &portName)
{
    if (portName.startsWith(QLatin1String("\\\\.\\")))
        return portName.toStdWString();
    return L"\\\\.\\" + portName.toStdWString();
}

// The name is still one the system knows; it goes when its adapter is pulled.
bool nameExists(const QString &portName)
{
    wchar_t target[512];
    const std::wstring name = portName.section(QLatin1Char('\\'), -1).toStdWString();
    return QueryDosDeviceW(name.c_str(), target, DWORD(std::size(target))) != 0;
}

const SerialPortEntry *entryNamed(const QList<SerialPortEntry> &ports, const QString &portName)
{
    const QString name = portName.section(QLatin1Char('\\'), -1);
    for (const SerialPortEntry &port : ports) {
        if (port.device.compare(name, Qt::CaseInsensitive) == 0)
            return &port;
    }
    return nullptr;
}

BYTE parityOf(LineParity parity)
{
    switch (parity) {
    case LineParity::odd:
        return ODDPARITY;
    case LineParity::even:
        return EVENPARITY;
    case LineParity::mark:
        return MARKPARITY;
    case LineParity::space:
        return SPACEPARITY;
    case LineParity::none:
        break;
    }
    return NOPARITY;
}

HANDLE newEvent()
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// Waits for an operation that was cancelled, so that its buffer and OVERLAPPED may go.
void settle(HANDLE port, OVERLAPPED &operation)
{
    if (WaitForSingleObject(operation.hEvent, 1000) == WAIT_OBJECT_0) {
        DWORD n = 0;
        GetOverlappedResult(port, &operation, &n, FALSE);
    }
}

} // namespace

CommPortLink::CommPortLink(QObject *parent) : Link(parent)
{
    m_wait.hEvent = newEvent();
    m_read.hEvent = newEvent();
    m_write.hEvent = newEvent();
    m_waitDone = new QWinEventNotifier(m_wait.hEvent, this);
    m_writeDone = new QWinEventNotifier(m_write.hEvent, this);
    connect(m_waitDone, &QWinEventNotifier::activated, this, &CommPortLink::onWaitDone);
    connect(m_writeDone, &QWinEventNotifier::activated, this, &CommPortLink::onWriteDone);
    m_presence.setInterval(1000);
    connect(&m_presence, &QTimer::timeout, this, &CommPortLink::checkStillThere);
}

CommPortLink::~CommPortLink()
{
    close();
    delete m_waitDone;
    delete m_writeDone;
    CloseHandle(m_wait.hEvent);
    CloseHandle(m_read.hEvent);
    CloseHandle(m_write.hEvent);
}

Condition CommPortLink::InitPort(const PortSettings &settings)
{
    if (!isOpen()) {
        if (settings.portName.compare(m_settings.portName, Qt::CaseInsensitive) != 0)
            m_instanceId.clear();
        m_settings = settings;
        m_errorDetail.clear();
        const QList<SerialPortEntry> ports = serialPorts();
        const SerialPortEntry *entry = entryNamed(ports, settings.portName);
        if (!m_instanceId.isEmpty()) {
            if (!entry)
                return Condition::portMissing; // not back yet
            if (entry->instanceId != m_instanceId)
                return Condition::portChanged;
        }
        m_port = CreateFileW(devicePath(settings.portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (m_port == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            m_errorDetail = winErrorText(error);
            return commOpenCondition(error);
        }
        if (const Condition refused = setUpLine(); refused != Condition::none) {
            CloseHandle(m_port);
            m_port = INVALID_HANDLE_VALUE;
            return refused;
        }
        if (m_instanceId.isEmpty() && entry)
            m_instanceId = entry->instanceId;
        m_listed = nameExists(settings.portName);
        m_presence.start();
        armWait();
        if (!isOpen())
            return Condition::deviceRemoved;
    }
    discardInput();
    return Condition::none;
}

Condition CommPortLink::openChosen(const PortSettings &settings)
{
    const QString had = m_instanceId;
    const bool samePath = settings.portName.compare(m_settings.portName, Qt::CaseInsensitive) == 0;
    m_instanceId.clear();
    const Condition failure = InitPort(settings);
    if (failure != Condition::none && samePath)
        m_instanceId = had;
    return failure;
}

Condition CommPortLink::setUpLine()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool ok = GetCommState(m_port, &dcb);
    if (ok) {
        dcb.BaudRate = DWORD(m_settings.baudRate);
        dcb.ByteSize = BYTE(m_settings.dataBits);
        dcb.Parity = parityOf(m_settings.parity);
        dcb.StopBits = m_settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = m_settings.parity != LineParity::none;
        // The module's line has no handshake: nothing may hold our commands back,
        // and a parity error must not stop the reads (the reply's check finds it).
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fAbortOnError = FALSE;
        // Adapters that take their power or direction from DTR and RTS get them.
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        ok = SetCommState(m_port, &dcb);
    }
    // Reads return at once with what is there: we only read what ClearCommError says
    // waits. A write that the line never takes ends after a second.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1000;
    ok = ok && SetCommTimeouts(m_port, &timeouts) && SetCommMask(m_port, EV_RXCHAR);
    if (ok)
        return Condition::none;
    m_errorDetail = winErrorText(GetLastError());
    return Condition::portSetup;
}

void CommPortLink::armWait()
{
    if (m_waiting || !isOpen())
        return;
    ResetEvent(m_wait.hEvent);
    m_events = 0;
    if (WaitCommEvent(m_port, &m_events, &m_wait) || GetLastError() == ERROR_IO_PENDING) {
        // Done at once or later, the notifier hands it on from the event loop.
        m_waiting = true;
        return;
    }
    const DWORD error = GetLastError();
    if (const Condition failure = commReadCondition(error); failure != Condition::none) {
        fail(failure, error);
        return;
    }
    // Aborted before it began: again from the event loop, not in a loop here.
    QTimer::singleShot(1, this, &CommPortLink::armWait);
}

void CommPortLink::onWaitDone()
{
    if (!m_waiting || !isOpen())
        return;
    DWORD n = 0;
    if (!GetOverlappedResult(m_port, &m_wait, &n, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return;
        m_waiting = false;
        if (const Condition failure = commReadCondition(error); failure != Condition::none) {
            fail(failure, error);
            return;
        }
    }
    m_waiting = false;
    ResetEvent(m_wait.hEvent);
    readWaiting();
    armWait();
    // What came between the read and the new wait is taken now: the wait reports
    // only characters that arrive after it began.
    readWaiting();
}

void CommPortLink::readWaiting()
{
    if (!isOpen())
        return;
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(m_port, &errors, &status)) {
        const DWORD error = GetLastError();
        fail(commReadCondition(error) == Condition::none ? Condition::deviceRemoved : commReadCondition(error), error);
        return;
    }
    if (status.cbInQue == 0)
        return;
    QByteArray bytes(qsizetype(status.cbInQue), Qt::Uninitialized);
    DWORD got = 0;
    ResetEvent(m_read.hEvent);
    // With the time-outs set up, the read ends at once with the bytes that wait.
    const bool started = ReadFile(m_port, bytes.data(), status.cbInQue, nullptr, &m_read)
        || GetLastError() == ERROR_IO_PENDING;
    if (!started || !GetOverlappedResult(m_port, &m_read, &got, TRUE)) {
        const DWORD error = GetLastError();
        if (const Condition failure = commReadCondition(error); failure != Condition::none) {
            fail(failure, error);
            return;
        }
    }
    bytes.truncate(qsizetype(got));
    if (bytes.isEmpty())
        return;
    // The count is read before the take, as the module protocol has always done.
    const auto count = static_cast<qint16>(std::min<DWORD>(status.cbInQue, std::numeric_limits<qint16>::max()));
    emit received(bytes, count);
}

void CommPortLink::WritePort(const std::string &str)
{
    if (!isOpen())
        return;
    m_queued.append(str.data(), qsizetype(str.size()));
    if (!m_writing)
        startWrite();
}

void CommPortLink::startWrite()
{
    m_inFlight = std::exchange(m_queued, {});
    ResetEvent(m_write.hEvent);
    if (WriteFile(m_port, m_inFlight.constData(), DWORD(m_inFlight.size()), nullptr, &m_write)
        || GetLastError() == ERROR_IO_PENDING) {
        m_writing = true;
        return;
    }
    const DWORD error = GetLastError();
    m_inFlight.clear();
    if (const Condition failure = commWriteCondition(error); failure != Condition::none)
        fail(nameExists(m_settings.portName) || !m_listed ? failure : Condition::deviceRemoved, error);
}

void CommPortLink::onWriteDone()
{
    if (!m_writing || !isOpen())
        return;
    DWORD written = 0;
    if (!GetOverlappedResult(m_port, &m_write, &written, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return;
        m_writing = false;
        m_inFlight.clear();
        if (const Condition failure = commWriteCondition(error); failure != Condition::none) {
            fail(nameExists(m_settings.portName) || !m_listed ? failure : Condition::deviceRemoved, error);
            return;
        }
    }
    m_writing = false;
    ResetEvent(m_write.hEvent);
    if (written == 0 && !m_inFlight.isEmpty()) {
        // The write's time-out ran out with nothing taken: a line held back for good.
        m_inFlight.clear();
        m_errorDetail = QStringLiteral("the port took no bytes");
        close();
        emit failed(Condition::writeFailed);
        return;
    }
    m_queued.prepend(m_inFlight.mid(qsizetype(written)));
    m_inFlight.clear();
    if (!m_queued.isEmpty())
        startWrite();
}

void CommPortLink::discardInput()
{
    if (isOpen())
        PurgeComm(m_port, PURGE_RXCLEAR);
}

void CommPortLink::close()
{
    if (!isOpen())
        return;
    m_presence.stop();
    // A new mask ends the wait under way; whatever else runs is cancelled, and both
    // are waited for, as the system writes into their OVERLAPPED until they end.
    SetCommMask(m_port, 0);
    CancelIo(m_port);
    if (m_waiting)
        settle(m_port, m_wait);
    if (m_writing)
        settle(m_port, m_write);
    CloseHandle(m_port);
    m_port = INVALID_HANDLE_VALUE;
    m_waiting = false;
    m_writing = false;
    m_inFlight.clear();
    m_queued.clear();
    ResetEvent(m_wait.hEvent);
    ResetEvent(m_write.hEvent);
}

void CommPortLink::checkStillThere()
{
    if (m_listed && !nameExists(m_settings.portName)) {
        m_errorDetail = QStringLiteral("%1 is no longer in the system's list of ports").arg(m_settings.portName);
        close();
        emit failed(Condition::deviceRemoved);
    }
}

void CommPortLink::fail(Condition condition, DWORD error)
{
    m_errorDetail = winErrorText(error);
    close();
    emit failed(condition);
}

} // namespace kvp
