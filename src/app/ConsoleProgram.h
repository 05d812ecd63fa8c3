#pragma once

#include "platform/SimulatedPort.h"

#include "Options.h"

namespace kvp {

// The program without a window: opens the port, reads until --count values or a
// termination signal, and returns the exit code. Needs a QCoreApplication.
int runConsole(const Options &options, const SimulatedPortMaker &simulated = {});

} // namespace kvp
