#pragma once

#include <QIcon>

namespace kvp {

// The program's icon: 32 x 32 in colour, 32 x 32 in two colours, 16 x 16 in colour.
QIcon appIcon();

} // namespace kvp
