#include "TrendStore.h"

#include <algorithm>

namespace kvp {

int TrendStore::scaleFor(std::size_t modules)
{
    int scale = 1;
    while (static_cast<std::size_t>(scale) < modules && scale < kMostModules)
        scale *= 2;
    return scale;
}

void TrendStore::follow(const std::vector<int> &addresses)
{
    std::vector<int> wanted = addresses;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (wanted.size() > static_cast<std::size_t>(kMostModules))
        wanted.resize(kMostModules);
    std::erase_if(m_modules, [&](const auto &m) { return !std::binary_search(wanted.begin(), wanted.end(), m.first); });

    // Dropped first, rescaled next, added last: at no point do more buckets exist
    // than the new set is allowed, bar the one series being rescaled.
    const int scale = scaleFor(wanted.size());
    if (scale != m_scale) {
        for (auto &[address, module] : m_modules)
            module.series = module.series.rescaled(scale);
        m_scale = scale;
    }
    for (const int address : wanted)
        if (!m_modules.count(address))
            m_modules.emplace(address, Module{TrendSeries(m_scale), std::nullopt});
}

std::vector<int> TrendStore::addresses() const
{
    std::vector<int> out;
    for (const auto &[address, module] : m_modules)
        out.push_back(address);
    return out;
}

void TrendStore::add(int address, TimePoint t, std::int32_t value)
{
    if (auto it = m_modules.find(address); it != m_modules.end())
        it->second.series.add(t, value);
}

void TrendStore::setStale(int address, bool stale, TimePoint t)
{
    auto it = m_modules.find(address);
    if (it == m_modules.end())
        return;
    Module &m = it->second;
    if (stale && !m.staleSince) {
        m.staleSince = t;
    } else if (!stale && m.staleSince) {
        if (t > *m.staleSince)
            m.series.markStale(*m.staleSince, t);
        m.staleSince.reset();
    }
}

void TrendStore::markStaleUntil(TimePoint t)
{
    // Marked in pieces while it lasts, so a redraw shows the gap growing.
    for (auto &[address, m] : m_modules) {
        if (m.staleSince && t > *m.staleSince) {
            m.series.markStale(*m.staleSince, t);
            m.staleSince = t;
        }
    }
}

const TrendSeries *TrendStore::series(int address) const
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : &it->second.series;
}

std::size_t TrendStore::bytes() const
{
    return m_modules.size() * TrendSeries::capacity(m_scale) * TrendSeries::bucketBytes();
}

} // namespace kvp
