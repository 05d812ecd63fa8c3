#include "EngineeringUnits.h"

#include <algorithm>

namespace kvp {
namespace {

// GCC and Clang have it on every target this runs on; pedantic mode merely says it is no ISO type.
__extension__ typedef __int128 Wide;

Wide powerOfTen(int n)
{
    Wide p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// The shown value in units of 10^-decimals, rounded half away from zero. Exact: a
// 24-bit count times at most 15 digits, shifted by at most 15 places, fits 128 bits.
Wide shownUnits(const EngineeringUnits &u, std::int32_t raw)
{
    const int decimals = std::clamp(u.decimals, 0, EngineeringUnits::kMostDecimals);
    const int places = std::max(u.scale.fraction, u.offset.fraction);
    Wide exact = Wide(raw) * u.scale.mantissa * powerOfTen(places - u.scale.fraction)
                 + Wide(u.offset.mantissa) * powerOfTen(places - u.offset.fraction);
    if (places <= decimals)
        return exact * powerOfTen(decimals - places);
    const Wide divisor = powerOfTen(places - decimals);
    const Wide half = divisor / 2;
    return exact >= 0 ? (exact + half) / divisor : -((-exact + half) / divisor);
}

std::string wideText(Wide magnitude)
{
    std::string digits;
    do {
        digits += char('0' + int(magnitude % 10));
        magnitude /= 10;
    } while (magnitude > 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace

std::string EngineeringUnits::text(std::int32_t raw) const
{
    const int places = std::clamp(decimals, 0, kMostDecimals);
    const Wide units = shownUnits(*this, raw);
    std::string digits = wideText(units < 0 ? -units : units);
    if (places > 0) {
        if (digits.size() <= std::size_t(places))
            digits.insert(0, std::size_t(places) + 1 - digits.size(), '0');
        digits.insert(digits.size() - std::size_t(places), 1, '.');
    }
    return units < 0 ? '-' + digits : digits;
}

double EngineeringUnits::value(std::int32_t raw) const
{
    return double(shownUnits(*this, raw)) / double(powerOfTen(std::clamp(decimals, 0, kMostDecimals)));
}

std::string EngineeringUnits::textWithUnit(std::int32_t raw) const
{
    return unit.empty() ? text(raw) : text(raw) + ' ' + unit;
}

} // namespace kvp
