#pragma once

#include "TrendColumn.h"

#include "reader/EngineeringUnits.h"

#include <cstdint>
#include <string>

namespace kvp {

// The trend's figures in a module's units, from the same exact decimals as the value
// on display: a count of 15 at scale 0.001 and 2 decimals is "0.02" there and here,
// never the "0.01" that 15 × 0.001 in binary floating point rounds to. Floating point
// is for drawing only (value()).
class TrendFigures
{
public:
    explicit TrendFigures(EngineeringUnits units) : m_units(std::move(units)) {}

    const EngineeringUnits &units() const { return m_units; }
    // A count as the value shows it, with the unit when there is one.
    std::string text(std::int32_t count) const { return m_units.textWithUnit(count); }
    // The smallest and largest value shown over `s` (a negative scale turns the
    // smallest count into the largest value), with the unit.
    std::string min(const TrendStats &s) const;
    std::string max(const TrendStats &s) const;
    // The mean of the counts, scaled and rounded once, exactly, to one place more than
    // the value shows; with the unit.
    std::string mean(const TrendStats &s) const;
    // The same without the unit, for a CSV column: `sum` of `count` counts.
    std::string meanNumber(std::int64_t sum, std::uint64_t count) const;
    // The shown value as a number, to draw it and to range the axis.
    double value(std::int32_t count) const { return m_units.value(count); }

private:
    std::string withUnit(std::string number) const;

    EngineeringUnits m_units;
};

} // namespace kvp
