#include "TextFormat.h"

#include <charconv>
#include <cmath>

namespace kvp {

std::string formatTwoDigits(double number)
{
    const double whole = std::round(number);
    char buffer[400]; // the widest double printed in fixed notation has 309 digits
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(whole),
                                      std::chars_format::fixed, 0);
    std::string digits(buffer, result.ptr);
    if (digits.size() < 2)
        digits.insert(0, 2 - digits.size(), '0');
    // Compare the rounded value, so -0.4 becomes "00" rather than "-00".
    return whole < 0 ? "-" + digits : digits;
}

std::string integerText(std::int32_t value)
{
    return std::to_string(value);
}

} // namespace kvp
