#pragma once

#include <QColor>

namespace kvp {

// Contrast between two colours as WCAG 2 defines it: 1 (none) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);

// The value's colours on a given background. On a light one, the window's pure blue
// and its grey. Where pure blue would not stand out (a dark theme), a blue lightened
// until it keeps 4.5:1; the stale colour always stands out less than the live one,
// so a stale value reads as dimmer on any theme.
struct ValueColours {
    QColor live;
    QColor stale;
};

ValueColours valueColoursOn(const QColor &background);

} // namespace kvp
