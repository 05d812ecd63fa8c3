#include "TrafficRing.h"

#include <algorithm>

namespace kvp {

TrafficRing::TrafficRing(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1))
{
    m_entries.reserve(m_capacity);
}

void TrafficRing::add(TrafficEntry entry)
{
    ++m_added;
    if (m_entries.size() < m_capacity) {
        m_entries.push_back(std::move(entry));
        return;
    }
    m_entries[m_next] = std::move(entry);
    m_next = (m_next + 1) % m_capacity;
}

void TrafficRing::clear()
{
    m_entries.clear();
    m_next = 0;
}

const TrafficEntry &TrafficRing::at(std::size_t index) const
{
    return m_entries[(m_next + index) % m_entries.size()];
}

} // namespace kvp
