#pragma once

#include <QByteArray>

namespace kvp {

// Replaces this process with the program at `path`, handing it `argv` (argv[0]
// included). Returns only when that fails, with the errno that says why.
int replaceProgram(const QByteArray &path, char **argv);

} // namespace kvp
