#pragma once

#include "EngineeringUnits.h"
#include "LimitWatcher.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kvp {

// How one module's values are shown and watched.
struct ReadoutSettings {
    EngineeringUnits units;
    ValueLimits limits;

    friend bool operator==(const ReadoutSettings &, const ReadoutSettings &) = default;
};

// One value of one module, as the user is to see it.
struct Reading {
    int address = 0;
    std::int32_t raw = 0;
    std::string text; // scaled and rounded; the raw count when nothing scales
    double value = 0; // what text says, as a number
    LimitState limit = LimitState::within;
    std::optional<LimitState> crossed; // this value crossed a limit, or came back within
};

// The units and limits of every module on the line, and where each module's last
// value stood. Modules without settings of their own take the defaults (the
// console's options apply to every module of a bus). Pure: it is handed raw counts.
class Readouts
{
public:
    void setDefaults(const ReadoutSettings &settings);
    const ReadoutSettings &defaults() const { return m_defaults; }
    // Settings of one module's own; the defaults again when they equal them.
    void set(int address, const ReadoutSettings &settings);
    const ReadoutSettings &of(int address) const;
    const std::map<int, ReadoutSettings> &own() const { return m_own; }

    // A value of `address` came: scaled, rounded, held against its limits.
    Reading take(int address, std::int32_t raw);
    // The last value of `address`, as its settings show it now.
    std::optional<Reading> last(int address) const;

private:
    Reading evaluate(int address, std::int32_t raw) const;

    ReadoutSettings m_defaults;
    std::map<int, ReadoutSettings> m_own;
    std::map<int, LimitWatcher> m_watchers;
    std::map<int, std::int32_t> m_lastRaw;
};

} // namespace kvp
