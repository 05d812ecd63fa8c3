#pragma once

#include "NetworkAddress.h"
#include "TelnetCodec.h"
#include "platform/Link.h"

#include <QTcpSocket>

#include <optional>

namespace kvp {

// The module behind a serial server: a TCP connection, raw (tcp://) or with the
// server's line set through the Telnet COM port option (rfc2217://). Opening waits
// for the connection and the server's answers, but never longer than a few seconds;
// a connection lost while open is one failed(Condition::connectionLost), and the
// session opens it again with a growing wait between attempts.
class NetworkLink : public Link
{
    Q_OBJECT

public:
    explicit NetworkLink(QObject *parent = nullptr);
    // Quietly: a socket closed by its destructor is no lost connection to report.
    ~NetworkLink() override;

    Condition InitPort(const PortSettings &settings) override;
    void WritePort(const std::string &str) override;
    void discardInput() override;
    void close() override;
    bool isOpen() const override { return m_up; }
    QString errorDetail() const override { return m_errorDetail; }
    // 0.5 s, doubling up to 5 s: a restarting server is back soon, a dead one is not
    // knocked at twice a second for ever.
    std::chrono::milliseconds retryAfter(int failures) const override;

    // How long opening waits for the connection, and then for the server's answer
    // to the COM port option.
    static constexpr int kConnectMs = 3000;
    static constexpr int kNegotiateMs = 1500;

private:
    Condition connectTo(const NetworkAddress &address);
    Condition negotiate(const PortSettings &settings);
    // Takes what the socket holds through the Telnet layer; the line's bytes are
    // returned, the layer's answers sent at once.
    QByteArray takeInput();
    void onReadyRead();
    void onLost();
    Condition failOpen(Condition condition, const QString &detail);

    QTcpSocket m_socket;
    std::optional<TelnetCodec> m_telnet; // rfc2217:// only
    bool m_up = false;
    QString m_errorDetail;
};

} // namespace kvp
