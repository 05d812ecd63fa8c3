#pragma once

#include "CycleCounters.h"
#include "CycleSettings.h"
#include "ModuleState.h"
#include "ReplyFraming.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kvp {

// The modules the cycle reads and whose turn it is: the one in the address box, or
// several on one line (a bus) asked one after the other. It keeps each module's
// state by address for as long as the cycle lives, so that a module read again is
// not learned afresh, and nothing of one is used for another.
class ModuleRoster
{
public:
    explicit ModuleRoster(CycleSettings settings) : m_settings(settings) {}

    // Several modules in turn; fewer than two hand the roster back to the address
    // box (`box`, when it holds a valid address, else the module read last).
    void setBus(std::vector<int> addresses, const std::string &box);
    // Without a bus: follows the address box. An invalid text keeps the last address.
    void followAddressBox(const std::string &box);
    bool onBus() const { return m_order.size() > 1; }
    bool busGiven() const { return m_bus; }

    // A new start: the first in order is asked next; a new run starts every count.
    void start(TimePoint now, bool newRun);
    // The next module in turn that may be asked now, if any; it is its turn now.
    ModuleState *nextDue(TimePoint now);
    // Whose turn it was, for handing the turn back when the module due is not asked
    // yet after all.
    std::size_t turn() const { return m_turn; }
    void rewindTo(std::size_t turn) { m_turn = turn; }
    // The earliest moment a module that backs off may be asked.
    std::optional<TimePoint> nextAskAt() const;
    // When the value of a module read now turns stale, if it is live.
    std::optional<TimePoint> nextStaleAt() const;
    void updateStale(TimePoint now, bool reading);

    ModuleState &module(int address);
    const ModuleState *find(int address) const;
    const std::vector<int> &order() const { return m_order; }
    int first() const { return m_order.front(); }

    // The counts of every module together; `stray` bytes came while none was asked.
    CycleCounters counters(std::uint64_t stray) const;
    Framings framings() const;

private:
    CycleSettings m_settings; // what a module read for the first time starts with
    bool m_bus = false; // setBus() was given a bus: the address box plays no part
    std::vector<int> m_order{0};
    std::size_t m_turn = 0; // index in m_order of the module asked last
    std::map<int, ModuleState> m_modules;
};

} // namespace kvp
