#include "Readouts.h"

namespace kvp {

void Readouts::setDefaults(const ReadoutSettings &settings)
{
    m_defaults = settings;
}

void Readouts::set(int address, const ReadoutSettings &settings)
{
    if (settings == m_defaults)
        m_own.erase(address);
    else
        m_own[address] = settings;
}

const ReadoutSettings &Readouts::of(int address) const
{
    const auto it = m_own.find(address);
    return it == m_own.end() ? m_defaults : it->second;
}

Reading Readouts::evaluate(int address, std::int32_t raw) const
{
    const ReadoutSettings &settings = of(address);
    Reading r;
    r.address = address;
    r.raw = raw;
    r.text = settings.units.text(raw);
    r.value = settings.units.value(raw);
    r.limit = settings.limits.of(r.value);
    return r;
}

Reading Readouts::take(int address, std::int32_t raw)
{
    Reading r = evaluate(address, raw);
    LimitWatcher &watcher = m_watchers[address];
    r.crossed = watcher.observe(of(address).limits, r.value);
    r.limit = watcher.state(); // inside the deadband, still out: the log says what was said
    m_lastRaw[address] = raw;
    return r;
}

std::optional<Reading> Readouts::last(int address) const
{
    const auto it = m_lastRaw.find(address);
    if (it == m_lastRaw.end())
        return std::nullopt;
    Reading r = evaluate(address, it->second);
    if (const auto watcher = m_watchers.find(address); watcher != m_watchers.end())
        r.limit = of(address).limits.after(watcher->second.state(), r.value);
    return r;
}

} // namespace kvp
