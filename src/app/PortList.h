#pragma once

#include <QString>

namespace kvp {

// The serial ports of this machine, one a line, for --list-ports.
QString portListing();

} // namespace kvp
