#pragma once

#include "LatestByKey.h"
#include "MqttMessage.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace kvp {

// What is to go to the broker, oldest first, bounded. A message stays here until the
// broker has acknowledged it, so that one sent into a connection that then broke is
// sent again, in its place, on the next connection. When the queue is full the oldest
// message goes and is counted, unless it is the latest on a retained topic.
class MessageQueue
{
public:
    explicit MessageQueue(std::size_t capacity = 10000) : m_capacity(capacity < 1 ? 1 : capacity) {}

    void push(MqttMessage message);
    // The next message not yet sent on this connection; only when hasUnsent().
    bool hasUnsent() const { return m_sent < m_entries.size(); }
    const MqttMessage &nextUnsent() const { return m_entries[m_sent].message; }
    // The next unsent message went out under this message id.
    void markSent(int id);
    // The broker acknowledged it; an unknown id (of a message dropped meanwhile) is ignored.
    void acknowledge(int id);
    // The connection is gone: what was sent and not acknowledged is unsent again.
    void connectionLost() { m_sent = 0; }

    // A message on this retained topic waits here (sent or not, unacknowledged).
    bool holds(const QByteArray &retainedTopic) const { return m_retained.contains(retainedTopic); }
    std::size_t size() const { return m_entries.size(); }
    std::size_t inFlight() const { return m_sent; }
    std::uint64_t dropped() const { return m_dropped; }
    std::uint64_t delivered() const { return m_delivered; }

private:
    struct Entry {
        MqttMessage message;
        int id = 0;
    };
    static std::optional<QByteArray> keyOf(const Entry &entry);
    void erase(std::size_t index);

    // Sent messages are always the first m_sent entries: they go out in order.
    std::deque<Entry> m_entries;
    LatestByKey<QByteArray> m_retained;
    std::size_t m_sent = 0;
    std::size_t m_capacity;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_delivered = 0;
};

} // namespace kvp
