#pragma once

#include "BrokerTrouble.h"
#include "BrokerUrl.h"
#include "MessageQueue.h"
#include "PublicationInbox.h"

#include <QHostInfo>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

struct mosquitto;
class QSocketNotifier;

namespace kvp {

// The connection to the broker, on the publishing thread: takes what the reading
// thread left in the inbox, in bursts, and sends it.
//
// libmosquitto is driven from this thread's Qt event loop: its socket is watched with
// QSocketNotifiers, a one-second timer runs its keep-alive, and the host name is
// looked up with QHostInfo, off the event loop, before the library connects. The
// library's own thread (mosquitto_loop_start) would reconnect by itself, but
// silently: a refused connection, an unknown host and a failed TLS handshake would
// all look alike, and values would pile up in its unbounded queue. Here every
// connection attempt is a fresh mosquitto client, so the bounded inbox and
// MessageQueue are the only places values wait, and each failure reaches the user in
// words of its own.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    MqttClient(BrokerUrl url, QString caFile, PublicationInbox &inbox, std::size_t capacity);
    ~MqttClient() override;

    void start();
    // The inbox went from empty to not: its contents go out with the next burst.
    void wake();
    // The end of the run: says "offline" and gives the queue up to `wait` to reach
    // the broker, when it is there. Returns how many messages were left.
    std::size_t finish(std::chrono::milliseconds wait);

    const MessageQueue &queue() const { return m_queue; }

signals:
    void stateChanged(kvp::BrokerState state);
    // The broker could not be reached, or a connection broke.
    void trouble(kvp::BrokerTrouble trouble, const QString &detail);
    void connected();

private:
    static void onConnack(mosquitto *, void *self, int code);
    static void onPuback(mosquitto *, void *self, int id);

    void attempt();
    Q_SLOT void onLookedUp(const QHostInfo &info);
    void connectNow();
    void onSocket(bool writable);
    void afterLibrary(int rc);
    void pump();
    void watchWrites();
    void fail(BrokerTrouble trouble, const QString &detail);
    void tearDown();
    void setState(BrokerState state);
    void takeInbox();
    void push(MqttMessage message);
    // What the broker may have sent by now was read, and no more: true when it
    // sent more (a packet longer than any the library asked for, fed on and on).
    bool readTooMuch();

    BrokerUrl m_url;
    QString m_caFile;
    PublicationInbox &m_inbox;
    MessageQueue m_queue;
    mosquitto *m_mosq = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    // Children, so that they move to the publishing thread with the client.
    QTimer m_misc{this};    // keep-alive of an open connection
    QTimer m_burst{this};   // the next burst of messages
    QTimer m_retry{this};   // the next attempt, after the back-off
    QTimer m_attempt{this}; // an attempt that gets no CONNACK in time
    std::chrono::milliseconds m_backOff{1000};
    int m_lookup = -1;
    bool m_connected = false; // CONNACK accepted on this connection
    bool m_socketUp = false;  // the socket was writable once: its connection is made
    bool m_finished = false;
    // What the library's callbacks saw inside its last call, handled after it returns:
    // nothing is torn down under its feet.
    int m_connack = -1;
    std::vector<int> m_acks;
    BrokerState m_state = BrokerState::off;
    // The latest message on each retained topic (a module's value and state): a broker
    // that restarted without persistence has forgotten them, and a dashboard that
    // subscribes then gets them only if they are sent again on the new connection.
    std::map<QByteArray, MqttMessage> m_retained;
    // How many bytes this connection may have brought by now; see readTooMuch().
    std::uint64_t m_mayHaveRead = 0;
};

} // namespace kvp
