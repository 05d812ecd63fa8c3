#pragma once

#include <QString>

namespace kvp {

// Opens the value log at `path` for appending, creating it when it is not there,
// without waiting for a reader (a FIFO nobody reads), never becoming the program's
// terminal, and not handed on to programs started from here. The descriptor, or -1
// with errno set.
int openLogFile(const QString &path);

} // namespace kvp
