#pragma once

namespace kvp {

// Replaces this process with the window's program, which lives apart so that the
// console never loads Qt's GUI libraries. Returns only when that fails, with the
// exit code, having said why. Needs a QCoreApplication.
int execWindowProgram(char **argv);

} // namespace kvp
