#include "ValueColours.h"

#include <algorithm>
#include <cmath>

namespace kvp {
namespace {

constexpr double kReadable = 4.5; // WCAG AA for text of this size and up
// Still legible, as a greyed-out text must be, yet clearly below the live value.
constexpr double kStaleContrast = 3.0;
const QColor kPureBlue(0x00, 0x00, 0xFF);
const QColor kDesignedGrey(0x80, 0x80, 0x80);
// Pure blue is mixed towards these until it reads: a sky blue on dark backgrounds
// keeps it recognisably blue, a navy on mid-grey ones.
const QColor kLightBlue(0x99, 0xCC, 0xFF);
const QColor kDarkBlue(0x00, 0x00, 0x50);

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.red()) + 0.7152 * channel(rgb.green()) + 0.0722 * channel(rgb.blue());
}

QColor mix(const QColor &from, const QColor &to, double t)
{
    const auto along = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return QColor(along(from.red(), to.red()), along(from.green(), to.green()), along(from.blue(), to.blue()));
}

// The least change of `from` towards one of `targets` that reaches `wanted` against
// the background; the best there is when none does.
QColor leastMixReaching(const QColor &from, std::initializer_list<QColor> targets, const QColor &background,
                        double wanted)
{
    constexpr int kSteps = 100;
    QColor best = from;
    for (int step = 0; step <= kSteps; ++step) {
        for (const QColor &target : targets) {
            const QColor candidate = mix(from, target, double(step) / kSteps);
            if (contrastRatio(candidate, background) >= wanted)
                return candidate;
            if (contrastRatio(candidate, background) > contrastRatio(best, background))
                best = candidate;
        }
    }
    return best;
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ValueColours valueColoursOn(const QColor &background)
{
    const QColor bg = background.toRgb();
    ValueColours colours;
    colours.live = leastMixReaching(kPureBlue, {kLightBlue, kDarkBlue}, bg, kReadable);
    const double live = contrastRatio(colours.live, bg);
    if (colours.live == kPureBlue && contrastRatio(kDesignedGrey, bg) < live) {
        colours.stale = kDesignedGrey;
        return colours;
    }
    // A grey on the same side of the background as the live blue, standing out less.
    const bool lighter = luminance(colours.live) > luminance(bg);
    const QColor grey = lighter ? QColor(Qt::white) : QColor(Qt::black);
    const double wanted = std::min(kStaleContrast, live * 0.75);
    colours.stale = leastMixReaching(QColor(bg.lightness(), bg.lightness(), bg.lightness()), {grey}, bg, wanted);
    return colours;
}

} // namespace kvp
