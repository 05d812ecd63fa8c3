#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>

namespace kvp {

// Which entry a full queue drops. A retained topic (a module's value, its state) keeps
// only its latest message on the broker, and that one is what every later subscriber
// sees. So the oldest entry goes unless it is the latest of its key: then the next
// oldest is looked at. Without this, a module that went quiet during a long outage
// would lose its last value and its "no answer" to the values of the others, and the
// broker would keep an older value, "live", for good.
template<typename Key>
class LatestByKey
{
public:
    void add(const std::optional<Key> &key)
    {
        if (key)
            ++m_counts[*key];
    }
    void remove(const std::optional<Key> &key)
    {
        if (!key)
            return;
        const auto it = m_counts.find(*key);
        if (it != m_counts.end() && --it->second == 0)
            m_counts.erase(it);
    }
    bool contains(const Key &key) const { return m_counts.count(key) > 0; }
    // The index in `entries` to drop; `keyOf` gives an entry's key, none for an entry
    // nothing supersedes. At most one entry per key is passed over.
    template<typename Entry, typename KeyOf>
    std::size_t toDrop(const std::deque<Entry> &entries, KeyOf keyOf) const
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::optional<Key> key = keyOf(entries[i]);
            if (!key || m_counts.at(*key) > 1)
                return i;
        }
        return 0;
    }

private:
    std::map<Key, int> m_counts;
};

} // namespace kvp
