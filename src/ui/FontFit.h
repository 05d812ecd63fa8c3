#pragma once

#include <QFont>
#include <QSize>
#include <QString>

#include "reader/Readouts.h"

namespace kvp {

// `font` at the largest size (in steps of a quarter point, at most `most` points)
// at which `text` fits into `room`.
QFont fittingFont(QFont font, const QString &text, QSize room, qreal most = 2000);

// The widest text a value of the module can take, digit for digit: the value's box is
// sized by it, so the box stays put while the value's length changes. With settings,
// as they show it: its sign, digits, point and unit, and the symbol of a limit.
QString widestValueText();
QString widestValueText(const ReadoutSettings &settings);

} // namespace kvp
