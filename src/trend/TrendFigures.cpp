#include "TrendFigures.h"

#include <algorithm>
#include <cstdio>

namespace kvp {
namespace {

// GCC and Clang have it on every target this runs on; pedantic mode merely says it is no ISO type.
__extension__ typedef __int128 Wide;

bool timesTen(Wide &n, int times)
{
    while (times-- > 0)
        if (__builtin_mul_overflow(n, Wide(10), &n))
            return false;
    return true;
}

std::string placesText(Wide units, int places)
{
    const bool negative = units < 0;
    std::string digits;
    for (Wide m = negative ? -units : units; digits.empty() || m > 0; m /= 10)
        digits.insert(digits.begin(), char('0' + int(m % 10)));
    if (places > 0) {
        if (digits.size() <= std::size_t(places))
            digits.insert(0, std::size_t(places) + 1 - digits.size(), '0');
        digits.insert(digits.size() - std::size_t(places), 1, '.');
    }
    return negative && units != 0 ? '-' + digits : digits;
}

} // namespace

std::string TrendFigures::withUnit(std::string number) const
{
    return m_units.unit.empty() ? number : number + ' ' + m_units.unit;
}

std::string TrendFigures::min(const TrendStats &s) const
{
    return text(m_units.scale.mantissa < 0 ? s.max : s.min);
}

std::string TrendFigures::max(const TrendStats &s) const
{
    return text(m_units.scale.mantissa < 0 ? s.min : s.max);
}

std::string TrendFigures::mean(const TrendStats &s) const
{
    return withUnit(meanNumber(s.sum, s.count));
}

std::string TrendFigures::meanNumber(std::int64_t sum, std::uint64_t count) const
{
    const int places = std::clamp(m_units.decimals, 0, EngineeringUnits::kMostDecimals) + 1;
    if (count == 0)
        return placesText(0, places);
    // (sum × scale + count × offset) / count, in units of 10^-places, all in integers:
    // scale and offset brought to the same number of fraction digits first.
    const DecimalNumber &scale = m_units.scale, &offset = m_units.offset;
    const int fraction = std::max(scale.fraction, offset.fraction);
    Wide s = scale.mantissa, o = offset.mantissa;
    Wide numerator = 0, denominator = Wide(count);
    bool exact = timesTen(s, fraction - scale.fraction) && timesTen(o, fraction - offset.fraction);
    Wide a = 0, b = 0;
    exact = exact && !__builtin_mul_overflow(Wide(sum), s, &a) && !__builtin_mul_overflow(Wide(count), o, &b)
            && !__builtin_add_overflow(a, b, &numerator);
    if (places >= fraction)
        exact = exact && timesTen(numerator, places - fraction);
    else
        exact = exact && timesTen(denominator, fraction - places);
    if (!exact) {
        // Beyond 128 bits (a scale of fifteen digits over hours of large counts): as
        // near as a long double gets, which is far finer than the places shown.
        const long double mean = (static_cast<long double>(sum) / static_cast<long double>(count))
                                     * static_cast<long double>(scale.toDouble())
                                 + static_cast<long double>(offset.toDouble());
        char text[64];
        std::snprintf(text, sizeof text, "%.*Lf", places, mean);
        return text;
    }
    // Half-way rounds away from zero, as the value does.
    const Wide magnitude = ((numerator < 0 ? -numerator : numerator) + denominator / 2) / denominator;
    return placesText(numerator < 0 ? -magnitude : magnitude, places);
}

} // namespace kvp
