#pragma once

namespace kvp {

// The program with its window: parses the command line itself, opens the port
// before the window is shown, and runs until Quit or the window is closed.
int runWindow(int argc, char **argv);

} // namespace kvp
