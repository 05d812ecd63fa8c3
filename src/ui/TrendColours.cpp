#include "TrendColours.h"

#include <algorithm>
#include <array>

namespace kvp {
namespace {

// Told apart on a light background; on a dark one the same hues, lightened. The
// first is the blue the trend always had, so one module looks as it did. No red,
// nor pink or brown near it: the window draws a value beyond its limits in red.
constexpr std::array<QRgb, 7> kLineColours{0x0000ff, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x17becf, 0x7f7f7f, 0xbcbd22};

} // namespace

void TrendColours::follow(const std::vector<int> &addresses)
{
    std::erase_if(m_places, [&](const auto &entry) {
        return std::find(addresses.begin(), addresses.end(), entry.first) == addresses.end();
    });
}

QColor TrendColours::of(int address, bool dark)
{
    auto it = m_places.find(address);
    if (it == m_places.end()) {
        int place = 0;
        while (std::any_of(m_places.begin(), m_places.end(), [place](const auto &e) { return e.second == place; }))
            ++place;
        it = m_places.emplace(address, place).first;
    }
    return ofPlace(it->second, dark);
}

QColor TrendColours::ofPlace(int place, bool dark)
{
    const auto size = static_cast<int>(kLineColours.size());
    QColor c = QColor::fromRgb(kLineColours[static_cast<std::size_t>(place % size)]);
    if (place >= size)
        c = c.darker(140); // the second round of hues, told apart by lightness
    // On a dark background the same hue and saturation, lighter, so a blue stays blue.
    return dark ? QColor::fromHsl(c.hslHue(), c.hslSaturation(), std::max(c.lightness(), 170)) : c;
}

} // namespace kvp
