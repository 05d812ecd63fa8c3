#include "MessageQueue.h"

#include <algorithm>

namespace kvp {

std::optional<QByteArray> MessageQueue::keyOf(const Entry &entry)
{
    if (!entry.message.retained)
        return std::nullopt;
    return entry.message.topic;
}

void MessageQueue::push(MqttMessage message)
{
    Entry entry{std::move(message), 0};
    // Counted first: the new one may be what supersedes an old one.
    m_retained.add(keyOf(entry));
    if (m_entries.size() >= m_capacity) {
        erase(m_retained.toDrop(m_entries, &MessageQueue::keyOf));
        ++m_dropped;
    }
    m_entries.push_back(std::move(entry));
}

void MessageQueue::erase(std::size_t index)
{
    m_retained.remove(keyOf(m_entries[index]));
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    // A message sent and not yet acknowledged; its acknowledgement will be ignored.
    if (index < m_sent)
        --m_sent;
}

void MessageQueue::markSent(int id)
{
    if (!hasUnsent())
        return;
    m_entries[m_sent].id = id;
    ++m_sent;
}

void MessageQueue::acknowledge(int id)
{
    const auto sentEnd = m_entries.begin() + static_cast<std::ptrdiff_t>(m_sent);
    const auto it = std::find_if(m_entries.begin(), sentEnd, [id](const Entry &e) { return e.id == id; });
    if (it == sentEnd)
        return;
    erase(static_cast<std::size_t>(it - m_entries.begin()));
    ++m_delivered;
}

} // namespace kvp
