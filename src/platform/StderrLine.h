#pragma once

#include <QString>

namespace kvp {

// One line on standard error, "kvp-reader: " in front, flushed at once: the form
// of everything the program says besides its values.
void writeStderrLine(const QString &text);

} // namespace kvp
