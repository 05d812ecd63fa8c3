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
    QList<int> addresses;
    for (const QStringView item : text.split(QLatin1Char(','))) {
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        const auto low = wholeAddress(dash < 0 ? item : item.left(dash));
        const auto high = dash < 0 ? low : wholeAddress(item.mid(dash + 1));
        if (!low || !high || *low > *high)
            return std::nullopt;
        for (int a = *low; a <= *high; ++a) {
            // Each module once: a second time would be a typo, not a wish to ask it twice.
            if (addresses.contains(a))
                return std::nullopt;
            addresses << a;
        }
    }
    return addresses;
}

} // namespace kvp
