#include "AddressArgument.h"

#include "protocol/Address.h"

namespace kvp {
namespace {

// One address: decimal digits only, in range. Two digits are enough for 31; more
// (leading zeros aside) are out of range, and counting them stops an overflow.
std::optional<int> wholeAddress(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > kHighestAddress)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<QList<int>> addressArgument(QStringView text)
{
    if (const auto address = wholeAddress(text))
        return QList<int>{*address};
    return std::nullopt;
}

} // namespace kvp
