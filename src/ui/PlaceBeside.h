#pragma once

class QWidget;

namespace kvp {

// Moves `window` next to `anchor` (right of it, else left of it, else leaves it where
// it is), so that a window opened from the form does not cover the value.
void placeBeside(QWidget &window, const QWidget &anchor);

} // namespace kvp
