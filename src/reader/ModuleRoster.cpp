#include "ModuleRoster.h"

#include "protocol/Address.h"

#include <algorithm>

namespace kvp {

void ModuleRoster::setBus(std::vector<int> addresses, const std::string &box)
{
    m_bus = addresses.size() > 1;
    if (m_bus)
        m_order = std::move(addresses);
    else
        m_order = {validAddress(box).value_or(m_order.front())};
    m_turn = m_order.size() - 1; // the first is asked first
}

void ModuleRoster::followAddressBox(const std::string &box)
{
    if (m_bus)
        return;
    const auto wanted = validAddress(box);
    if (!wanted || *wanted == m_order.front())
        return;
    m_order = {*wanted};
    m_turn = 0;
    // A module is always set up before it is queried at a new address; the module
    // there may have been another, or restarted, since it was last read.
    module(*wanted).setUp = false;
}

void ModuleRoster::start(TimePoint now, bool newRun)
{
    if (newRun)
        for (auto &[address, m] : m_modules)
            m.start(now, true);
    for (const int a : m_order)
        module(a).start(now, newRun);
    m_turn = m_order.size() - 1;
}

ModuleState *ModuleRoster::nextDue(TimePoint now)
{
    for (std::size_t k = 1; k <= m_order.size(); ++k) {
        const std::size_t i = (m_turn + k) % m_order.size();
        ModuleState &m = module(m_order[i]);
        if (m.nextAskAt <= now) {
            m_turn = i;
            return &m;
        }
    }
    return nullptr;
}

std::optional<TimePoint> ModuleRoster::nextAskAt() const
{
    std::optional<TimePoint> next;
    for (const int a : m_order)
        if (const ModuleState *m = find(a); m && (!next || m->nextAskAt < *next))
            next = m->nextAskAt;
    return next;
}

std::optional<TimePoint> ModuleRoster::nextStaleAt() const
{
    std::optional<TimePoint> next;
    for (const int a : m_order) {
        const ModuleState *m = find(a);
        if (!m || m->stale)
            continue;
        // On a bus a module waiting its turn is not stale until it has failed.
        std::optional<TimePoint> at;
        // A value read at a poll interval is not stale before the next one is due.
        const Clock::duration fresh = m->timeout + m->pace;
        if (!onBus())
            at = m->lastGoodAt + fresh;
        else if (m->lastFailedAt > m->lastGoodAt)
            at = std::max(m->lastGoodAt + fresh, m->lastFailedAt);
        if (at && (!next || *at < *next))
            next = at;
    }
    return next;
}

void ModuleRoster::updateStale(TimePoint now, bool reading)
{
    for (const int a : m_order)
        if (auto it = m_modules.find(a); it != m_modules.end())
            it->second.updateStale(now, reading, onBus());
}

ModuleState &ModuleRoster::module(int address)
{
    return m_modules.try_emplace(address, address, m_settings).first->second;
}

const ModuleState *ModuleRoster::find(int address) const
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : &it->second;
}

CycleCounters ModuleRoster::counters(std::uint64_t stray) const
{
    CycleCounters all;
    bool first = true;
    for (const auto &[address, m] : m_modules) {
        const CycleCounters &c = m.counters;
        all.runStart = first ? c.runStart : std::min(all.runStart, c.runStart);
        first = false;
        all.commandsSent += c.commandsSent;
        all.goodValues += c.goodValues;
        all.timeouts += c.timeouts;
        all.badChecks += c.badChecks;
        all.badTrailers += c.badTrailers;
        all.shortReplies += c.shortReplies;
        all.discardedBytes += c.discardedBytes;
        all.skippedBytes += c.skippedBytes;
        all.lateReplies += c.lateReplies;
        all.replyTimeMin = std::min(all.replyTimeMin, c.replyTimeMin);
        all.replyTimeMax = std::max(all.replyTimeMax, c.replyTimeMax);
        all.replyTimeTotal += c.replyTimeTotal;
        all.timedReplies += c.timedReplies;
    }
    all.discardedBytes += stray;
    return all;
}

Framings ModuleRoster::framings() const
{
    Framings all;
    for (const auto &[address, m] : m_modules)
        all.emplace(address, m.framing);
    return all;
}

} // namespace kvp
