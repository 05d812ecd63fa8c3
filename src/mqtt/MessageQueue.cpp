#include "MessageQueue.h"

#include <algorithm>

namespace kvp {

void MessageQueue::push(MqttMessage message)
{
    if (m_entries.size() >= m_capacity) {
        m_entries.pop_front();
        if (m_sent > 0)
            --m_sent;
        ++m_dropped;
    }
    m_entries.push_back({std::move(message), 0});
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
    m_entries.erase(it);
    --m_sent;
    ++m_delivered;
}

} // namespace kvp
