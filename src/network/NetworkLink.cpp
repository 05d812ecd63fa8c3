#include "NetworkLink.h"

#include "serial/PortSettings.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <limits>

namespace kvp {
namespace {

std::uint8_t parityCode(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity:
        return 2;
    case QSerialPort::EvenParity:
        return 3;
    case QSerialPort::MarkParity:
        return 4;
    case QSerialPort::SpaceParity:
        return 5;
    default:
        return 1;
    }
}

QByteArray bytesOf(const std::vector<std::uint8_t> &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

} // namespace

NetworkLink::NetworkLink(QObject *parent) : Link(parent)
{
    QObject::connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onReadyRead);
    QObject::connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLink::onLost);
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onLost);
}

NetworkLink::~NetworkLink()
{
    QObject::disconnect(&m_socket, nullptr, this, nullptr);
    m_up = false;
    m_socket.abort();
}

std::chrono::milliseconds NetworkLink::retryAfter(int failures) const
{
    using namespace std::chrono;
    return std::min<milliseconds>(milliseconds(500 << std::clamp(failures, 0, 4)), seconds(5));
}

Condition NetworkLink::InitPort(const PortSettings &settings)
{
    if (m_up) {
        discardInput();
        return Condition::none;
    }
    m_errorDetail.clear();
    QString why;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(settings.portName, &why);
    if (!address)
        return failOpen(Condition::badServerAddress, why);
    if (const Condition failure = connectTo(*address); failure != Condition::none)
        return failure;
    if (address->kind == NetworkAddress::Kind::comPortControl) {
        if (const Condition failure = negotiate(settings); failure != Condition::none)
            return failure;
    } else {
        m_telnet.reset();
    }
    m_up = true;
    discardInput();
    return Condition::none;
}

Condition NetworkLink::connectTo(const NetworkAddress &address)
{
    m_socket.abort();
    m_socket.connectToHost(address.host, address.port);
    if (m_socket.waitForConnected(kConnectMs))
        return Condition::none;
    switch (m_socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return failOpen(Condition::connectionRefused, m_socket.errorString());
    case QAbstractSocket::HostNotFoundError:
        return failOpen(Condition::hostNotFound, m_socket.errorString());
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::UnknownSocketError:
        return failOpen(Condition::connectTimedOut, QStringLiteral("no answer within %1 s").arg(kConnectMs / 1000));
    default:
        return failOpen(Condition::networkFailed, m_socket.errorString());
    }
}

Condition NetworkLink::negotiate(const PortSettings &settings)
{
    TelnetCodec::Line line;
    line.baud = static_cast<std::uint32_t>(settings.baudRate);
    line.dataBits = static_cast<std::uint8_t>(settings.dataBits);
    line.parity = parityCode(settings.parity);
    line.stopBits = static_cast<std::uint8_t>(settings.stopBits);
    m_telnet.emplace(line);
    m_socket.write(bytesOf(m_telnet->start()));
    const QDeadlineTimer deadline(kNegotiateMs);
    using Stage = TelnetCodec::Stage;
    const auto waiting = [this] { return m_telnet->stage() == Stage::offered || m_telnet->stage() == Stage::setting; };
    while (waiting() && m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        takeInput(); // what the line said meanwhile is older than any command of ours
    }
    switch (m_telnet->stage()) {
    case Stage::ready:
        return Condition::none;
    case Stage::refused:
        return failOpen(Condition::notComPortServer, QStringLiteral("it declined the COM port option"));
    case Stage::lineRefused:
        return failOpen(Condition::portSetup,
                        QStringLiteral("the server set %1").arg(QString::fromStdString(m_telnet->refusal())));
    case Stage::setting:
        return failOpen(Condition::portSetup, QStringLiteral("the server did not confirm the line settings"));
    case Stage::offered:
        break;
    }
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return failOpen(Condition::networkFailed, QStringLiteral("the server closed the connection at once"));
    return failOpen(Condition::notComPortServer,
                    QStringLiteral("no answer to the COM port option within %1 s").arg(kNegotiateMs / 1000.0));
}

Condition NetworkLink::failOpen(Condition condition, const QString &detail)
{
    m_errorDetail = detail;
    m_socket.abort();
    return condition;
}

QByteArray NetworkLink::takeInput()
{
    const QByteArray raw = m_socket.readAll();
    if (!m_telnet)
        return raw;
    const auto *begin = reinterpret_cast<const std::uint8_t *>(raw.constData());
    TelnetCodec::Output out = m_telnet->decode({begin, static_cast<size_t>(raw.size())});
    if (!out.reply.empty())
        m_socket.write(bytesOf(out.reply));
    return bytesOf(out.data);
}

void NetworkLink::WritePort(const std::string &str)
{
    if (!m_up)
        return;
    const auto *begin = reinterpret_cast<const std::uint8_t *>(str.data());
    const QByteArray bytes = m_telnet ? bytesOf(TelnetCodec::encode({begin, str.size()}))
                                      : QByteArray(str.data(), static_cast<qsizetype>(str.size()));
    if (m_socket.write(bytes) != bytes.size()) {
        onLost();
        return;
    }
    m_socket.flush(); // on the wire now, not at the next turn of the event loop
}

void NetworkLink::discardInput()
{
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        takeInput();
}

void NetworkLink::close()
{
    m_up = false;
    m_socket.abort();
}

void NetworkLink::onReadyRead()
{
    if (!m_up)
        return; // opening reads for itself
    const QByteArray data = takeInput();
    if (data.isEmpty())
        return; // only the server's own words
    const auto count = static_cast<qint16>(std::min<qsizetype>(data.size(), std::numeric_limits<qint16>::max()));
    emit received(data, count);
}

void NetworkLink::onLost()
{
    if (!m_up)
        return;
    m_up = false;
    const auto error = m_socket.error();
    m_errorDetail = error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::UnknownSocketError
        ? QStringLiteral("the server closed the connection")
        : m_socket.errorString();
    m_socket.abort();
    emit failed(Condition::connectionLost);
}

} // namespace kvp
