#pragma once

#include "NetworkAddress.h"
#include "TelnetCodec.h"
#include "platform/Link.h"

#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace kvp {

// The module behind a serial server: a TCP connection, raw (tcp://) or with the
// server's line set through the Telnet COM port option (rfc2217://). Opening answers
// Condition::connecting at once and opened() once the connection and the server's
// answers are there, or have not come within a few seconds: a server that drops
// packets must not hold up the window or the console's signals meanwhile. A
// connection lost while open is one failed(Condition::connectionLost), and the
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
    bool opening() const override { return m_opening != Opening::none; }
    QString errorDetail() const override { return m_errorDetail; }
    // 0.5 s, doubling up to 5 s: a restarting server is back soon, a dead one is not
    // knocked at twice a second for ever.
    std::chrono::milliseconds retryAfter(int failures) const override;

    // How long opening waits for the connection, and then for the server's answer
    // to the COM port option.
    static constexpr int kConnectMs = 3000;
    static constexpr int kNegotiateMs = 1500;
    // The silence that ends a reply, and that the line keeps before the next command,
    // behind a server: the server packs what the line brings into packets on timers of
    // its own, so a pause inside a reply grows on the way.
    static constexpr std::chrono::milliseconds kByteGap{50};

private:
    enum class Opening { none, connecting, negotiating };

    void onConnected();
    // The server's answers so far, or (timeUp) all it said in time.
    void negotiated(bool timeUp);
    void onDeadline();
    // The connection failed or closed before the line was up.
    void openBroke();
    // The end of an open in progress: the line is up (Condition::none), or why not.
    void finishOpen(Condition outcome);
    // Takes what the socket holds through the Telnet layer; the line's bytes are
    // returned, the layer's answers sent at once.
    QByteArray takeInput();
    void onReadyRead();
    void onLost();
    Condition failOpen(Condition condition, const QString &detail);

    QTcpSocket m_socket;
    std::optional<TelnetCodec> m_telnet; // rfc2217:// only
    QTimer m_deadline; // of the open in progress
    Opening m_opening = Opening::none;
    // InitPort is still on the stack: an open that ends at once is its answer, not opened().
    bool m_starting = false;
    Condition m_endedAtOnce = Condition::none;
    bool m_up = false;
    QString m_errorDetail;
};

} // namespace kvp
