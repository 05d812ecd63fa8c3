#include "TrendColours.h"

#include <algorithm>
#include <array>

namespace kvp {
namespace {

// Told apart on a light background; on a dark one the same hues, lightened. The
// first is the blue the trend always had, so one module looks as it did.
constexpr std::array<QRgb, 10> kLineColours{0x0000ff, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd,
                                            0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};

} // namespace

QColor TrendColours::of(std::size_t place, bool dark)
{
    QColor c = QColor::fromRgb(kLineColours[place % kLineColours.size()]);
    if (place >= kLineColours.size())
        c = c.darker(140); // the second round of hues, told apart by lightness
    // On a dark background the same hue and saturation, lighter, so a blue stays blue.
    return dark ? QColor::fromHsl(c.hslHue(), c.hslSaturation(), std::max(c.lightness(), 170)) : c;
}

} // namespace kvp
