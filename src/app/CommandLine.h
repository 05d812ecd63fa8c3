#pragma once

#include "Options.h"

#include <QStringList>

namespace kvp {

// Reads the command line. Help and version are printed here; anything else that
// ends the program early comes back as exitCode with its message already printed.
struct CommandLine {
    Options options;
    int exitCode = -1; // -1: go on and run

    static CommandLine parse(const QStringList &arguments);
};

} // namespace kvp
