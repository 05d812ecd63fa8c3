#pragma once

#include <QString>

namespace kvp {

// Hands this run over to the program at `path`, with the arguments this program was
// given: on Linux the process becomes that program (exec); on Windows, where a
// program cannot become another, it is started and this one ends, leaving the
// console to the shell at once. Returns only when that fails, with the system's
// reason. `argv` is this program's own, argv[0] included.
QString replaceProgram(const QString &path, char **argv);

} // namespace kvp
