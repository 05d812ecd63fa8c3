#pragma once

#include "platform/SimulatedPort.h"

#include "Options.h"

namespace kvp {

// --scan: asks every address 0..31 once on the port, prints each that answered as
// "ADDRESS VALUE" on its own line, and returns 0, or 1 when none answered or the
// port failed. Needs a QCoreApplication.
int runScan(const Options &options, const SimulatedPortMaker &simulated = {});

} // namespace kvp
