#include "Address.h"

#include "platform/NumericPrefix.h"
#include "platform/TextFormat.h"

#include <cmath>

namespace kvp {

std::string addressField(std::string_view addressText)
{
    return formatTwoDigits(parseNumericPrefix(addressText).value);
}

std::optional<int> validAddress(std::string_view addressText)
{
    const NumericPrefix number = parseNumericPrefix(addressText);
    if (!number.found)
        return std::nullopt;
    // Judge the number the way the field will be written, so "3.6" is address 4.
    const double whole = std::round(number.value);
    if (!(whole >= kLowestAddress && whole <= kHighestAddress))
        return std::nullopt;
    return static_cast<int>(whole);
}

} // namespace kvp
