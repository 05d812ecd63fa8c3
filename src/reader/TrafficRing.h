#pragma once

#include "TrafficEntry.h"

#include <cstddef>
#include <vector>

namespace kvp {

// The last entries of the line's traffic, oldest first. Its size is fixed when it is
// made, so a line that runs for weeks costs no more than one that ran a minute.
class TrafficRing
{
public:
    explicit TrafficRing(std::size_t capacity = 200);

    void add(TrafficEntry entry);
    void clear();
    std::size_t size() const { return m_entries.size(); }
    std::size_t capacity() const { return m_capacity; }
    // 0 is the oldest kept.
    const TrafficEntry &at(std::size_t index) const;
    // How many were ever added; the view uses it to see what is new.
    std::size_t added() const { return m_added; }

private:
    std::size_t m_capacity;
    std::vector<TrafficEntry> m_entries;
    std::size_t m_next = 0; // where the next entry goes once the ring is full
    std::size_t m_added = 0;
};

} // namespace kvp
