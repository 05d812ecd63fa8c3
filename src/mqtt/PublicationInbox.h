#pragma once

#include "LatestByKey.h"
#include "Publication.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace kvp {

// The hand-over from the reading thread to the publishing thread: bounded like the
// message queue behind it, so that a publishing thread starved of CPU costs the oldest
// publications, counted, and never memory without end. A module's latest value and
// latest state are kept longest, as in the message queue.
class PublicationInbox
{
public:
    explicit PublicationInbox(std::size_t capacity) : m_capacity(capacity < 1 ? 1 : capacity) {}

    // True when the inbox was empty: the taker has to be woken.
    bool push(Publication publication);
    std::vector<Publication> takeAll();

    std::size_t size() const;
    std::uint64_t dropped() const;

private:
    using Key = std::pair<int, bool>; // the address, and whether it is a state
    static std::optional<Key> keyOf(const Publication &p) { return Key{p.value.address, p.stateOnly}; }

    mutable std::mutex m_mutex;
    std::deque<Publication> m_items;
    LatestByKey<Key> m_latest;
    std::size_t m_capacity;
    std::uint64_t m_dropped = 0;
};

} // namespace kvp
