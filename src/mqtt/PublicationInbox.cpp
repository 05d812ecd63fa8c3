#include "PublicationInbox.h"

#include <iterator>

namespace kvp {

bool PublicationInbox::push(Publication publication)
{
    const std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_items.empty();
    // Counted first: the new one may be what supersedes an old one.
    m_latest.add(keyOf(publication));
    if (m_items.size() >= m_capacity) {
        const std::size_t drop = m_latest.toDrop(m_items, &PublicationInbox::keyOf);
        m_latest.remove(keyOf(m_items[drop]));
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(drop));
        ++m_dropped;
    }
    m_items.push_back(std::move(publication));
    return wasEmpty;
}

std::vector<Publication> PublicationInbox::takeAll()
{
    const std::lock_guard lock(m_mutex);
    std::vector<Publication> all(std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()));
    m_items.clear();
    m_latest = {};
    return all;
}

std::size_t PublicationInbox::size() const
{
    const std::lock_guard lock(m_mutex);
    return m_items.size();
}

std::uint64_t PublicationInbox::dropped() const
{
    const std::lock_guard lock(m_mutex);
    return m_dropped;
}

} // namespace kvp
