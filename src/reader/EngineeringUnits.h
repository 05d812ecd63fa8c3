#pragma once

#include "DecimalNumber.h"

#include <cstdint>
#include <string>

namespace kvp {

// How a module's raw count becomes the value a technician reads: raw × scale +
// offset, rounded to `decimals` places, and the unit it is in. The defaults show
// the raw count as it is.
struct EngineeringUnits {
    DecimalNumber scale{1, 0};
    DecimalNumber offset{};
    int decimals = 0;
    std::string unit; // shown next to the value in the window, logged; never on stdout

    static constexpr int kMostDecimals = 9;

    // The shown value, '.' as the point whatever the locale. Half-way cases round away
    // from zero, exactly, and a value that rounds to zero has no sign ("0.000").
    std::string text(std::int32_t raw) const;
    // The shown value as a number, for comparing with limits: what text() says.
    double value(std::int32_t raw) const;
    // The shown value followed by the unit, if there is one: "51.234 kg".
    std::string textWithUnit(std::int32_t raw) const;
    // Anything but the raw count.
    bool scales() const { return !(scale == DecimalNumber{1, 0}) || offset.mantissa != 0 || decimals != 0; }

    friend bool operator==(const EngineeringUnits &, const EngineeringUnits &) = default;
};

} // namespace kvp
