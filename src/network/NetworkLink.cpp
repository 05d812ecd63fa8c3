#include "NetworkLink.h"

#include "platform/SocketOptions.h"
#include "serial/PortSettings.h"

#include <algorithm>
#include <limits>

namespace kvp {
namespace {

std::uint8_t parityCode(LineParity parity)
{
    switch (parity) {
    case LineParity::odd:
        return 2;
    case LineParity::even:
        return 3;
    case LineParity::mark:
        return 4;
    case LineParity::space:
        return 5;
    case LineParity::none:
        break;
    }
    return 1;
}

QByteArray bytesOf(const std::vector<std::uint8_t> &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

} // namespace

NetworkLink::NetworkLink(QObject *parent) : Link(parent)
{
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, this, &NetworkLink::onDeadline);
    QObject::connect(&m_socket, &QTcpSocket::connected, this, &NetworkLink::onConnected);
    QObject::connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onReadyRead);
    QObject::connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkLink::onLost);
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onLost);
}

NetworkLink::~NetworkLink()
{
    QObject::disconnect(&m_socket, nullptr, this, nullptr);
    m_up = false;
    m_opening = Opening::none;
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
    if (m_opening != Opening::none)
        return Condition::connecting; // the attempt under way answers for this one too
    m_errorDetail.clear();
    QString why;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(settings.portName, &why);
    if (!address)
        return failOpen(Condition::badServerAddress, why);
    if (address->kind == NetworkAddress::Kind::comPortControl) {
        TelnetCodec::Line line;
        line.baud = static_cast<std::uint32_t>(settings.baudRate);
        line.dataBits = static_cast<std::uint8_t>(settings.dataBits);
        line.parity = parityCode(settings.parity);
        line.stopBits = static_cast<std::uint8_t>(settings.stopBits);
        m_telnet.emplace(line);
    } else {
        m_telnet.reset();
    }
    m_socket.abort();
    m_opening = Opening::connecting;
    m_deadline.start(kConnectMs);
    // Qt may refuse an address at once, inside connectToHost.
    m_starting = true;
    m_socket.connectToHost(address->host, address->port);
    m_starting = false;
    return m_opening == Opening::none ? m_endedAtOnce : Condition::connecting;
}

void NetworkLink::onConnected()
{
    if (m_opening != Opening::connecting)
        return;
    // A command is a few bytes: on the wire at once, not held for the acknowledgement
    // of the one before.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_telnet) {
        finishOpen(Condition::none);
        return;
    }
    m_opening = Opening::negotiating;
    m_deadline.start(kNegotiateMs);
    m_socket.write(bytesOf(m_telnet->start()));
}

void NetworkLink::negotiated(bool timeUp)
{
    using Stage = TelnetCodec::Stage;
    switch (m_telnet->stage()) {
    case Stage::ready:
        finishOpen(Condition::none);
        return;
    case Stage::refused:
        finishOpen(failOpen(Condition::notComPortServer, QStringLiteral("it declined the COM port option")));
        return;
    case Stage::lineRefused:
        finishOpen(failOpen(Condition::portSetup,
                            QStringLiteral("the server set %1").arg(QString::fromStdString(m_telnet->refusal()))));
        return;
    case Stage::setting:
        if (timeUp)
            finishOpen(failOpen(Condition::portSetup, QStringLiteral("the server did not confirm the line settings")));
        return;
    case Stage::offered:
        if (timeUp)
            finishOpen(failOpen(Condition::notComPortServer,
                                QStringLiteral("no answer to the COM port option within %1 s").arg(kNegotiateMs / 1000.0)));
        return;
    }
}

void NetworkLink::onDeadline()
{
    if (m_opening == Opening::negotiating)
        negotiated(true);
    else if (m_opening == Opening::connecting)
        finishOpen(failOpen(Condition::connectTimedOut, QStringLiteral("no answer within %1 s").arg(kConnectMs / 1000)));
}

void NetworkLink::openBroke()
{
    if (m_opening == Opening::negotiating) {
        // Settings sent and never confirmed say more than the closing does.
        if (m_telnet->stage() == TelnetCodec::Stage::setting)
            negotiated(true);
        else
            finishOpen(failOpen(Condition::networkFailed, QStringLiteral("the server closed the connection at once")));
        return;
    }
    switch (m_socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        finishOpen(failOpen(Condition::connectionRefused, m_socket.errorString()));
        return;
    case QAbstractSocket::HostNotFoundError:
        finishOpen(failOpen(Condition::hostNotFound, m_socket.errorString()));
        return;
    case QAbstractSocket::SocketTimeoutError:
        finishOpen(failOpen(Condition::connectTimedOut, QStringLiteral("no answer within %1 s").arg(kConnectMs / 1000)));
        return;
    default:
        finishOpen(failOpen(Condition::networkFailed, m_socket.errorString()));
        return;
    }
}

void NetworkLink::finishOpen(Condition outcome)
{
    m_opening = Opening::none;
    m_deadline.stop();
    if (outcome == Condition::none) {
        m_up = true;
        discardInput();
    }
    if (m_starting) {
        m_endedAtOnce = outcome;
        return;
    }
    emit opened(outcome); // last: whoever takes it may close this link
}

Condition NetworkLink::failOpen(Condition condition, const QString &detail)
{
    m_errorDetail = detail;
    m_opening = Opening::none; // the abort's own signals are no news
    m_socket.abort();
    return condition;
}

QByteArray NetworkLink::takeInput()
{
    const QByteArray raw = m_socket.readAll();
    // A raw server that waits for our acknowledgement before the rest of a reply
    // (Nagle's algorithm on its side) would send it a delayed acknowledgement later:
    // after the silence that ends the reply, and so as the next module's answer.
    if (!raw.isEmpty())
        ackPromptly(m_socket.socketDescriptor());
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
    m_opening = Opening::none; // an open in progress is abandoned: no opened() follows
    m_deadline.stop();
    m_socket.abort();
}

void NetworkLink::onReadyRead()
{
    if (m_opening == Opening::negotiating) {
        takeInput(); // what the line said meanwhile is older than any command of ours
        negotiated(false);
        return;
    }
    if (!m_up)
        return;
    const QByteArray data = takeInput();
    if (data.isEmpty())
        return; // only the server's own words
    const auto count = static_cast<qint16>(std::min<qsizetype>(data.size(), std::numeric_limits<qint16>::max()));
    emit received(data, count);
}

void NetworkLink::onLost()
{
    if (m_opening != Opening::none) {
        openBroke();
        return;
    }
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
