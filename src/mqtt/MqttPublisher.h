#pragma once

#include "BrokerTrouble.h"
#include "BrokerUrl.h"
#include "PublicationInbox.h"

#include <QObject>
#include <QThread>

#include <chrono>
#include <cstdint>
#include <vector>

namespace kvp {

class MqttClient;

// Publishes the reader's values to an MQTT broker without ever holding reading up.
//
// The connection lives on a thread of its own (MqttClient): formatting the messages,
// writing them and reading the broker's acknowledgements cost several times what
// reading a value does, and on the reading thread they would come between a reply and
// the next command. Here the reading thread only puts each value in a bounded inbox;
// the publishing thread is woken once per burst.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    MqttPublisher(BrokerUrl url, QString caFile, std::size_t capacity = 10000, QObject *parent = nullptr);
    ~MqttPublisher() override;

    void start();
    void publishValue(const PublishedValue &value);
    void publishState(int address, const QString &state);
    // The end of the run: says "offline" and gives what waits up to `wait` to reach
    // the broker, when it is there. Returns how many messages were left.
    std::size_t finish(std::chrono::milliseconds wait);

    BrokerState state() const { return m_state; }
    // Counted over the run, once finish() has returned.
    std::uint64_t delivered() const { return m_delivered; }
    std::uint64_t dropped() const;
    // What waits for the publishing thread to take it (before start(), all of it).
    std::vector<Publication> takeWaiting() { return m_inbox.takeAll(); }

signals:
    void stateChanged(kvp::BrokerState state);
    // The broker could not be reached, or a connection broke.
    void trouble(kvp::BrokerTrouble trouble, const QString &detail);
    void connected();

private:
    void hand(Publication publication);
    void setState(BrokerState state);

    PublicationInbox m_inbox;
    MqttClient *m_client; // lives on m_thread, and is deleted there
    QThread m_thread;
    BrokerState m_state = BrokerState::off;
    bool m_started = false;
    bool m_finished = false;
    std::size_t m_left = 0;
    std::uint64_t m_delivered = 0;
    std::uint64_t m_dropped = 0;
};

} // namespace kvp
