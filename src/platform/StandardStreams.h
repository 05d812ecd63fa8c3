#pragma once

namespace kvp {

// Run first in main, before anything opens a file: a standard stream that was not
// open gets /dev/null, so that no port, log or pipe of ours is given descriptor 1
// and takes the values meant for standard output.
void guardStandardStreams();

// Whether standard output was closed when the program started.
bool stdoutWasClosed();

// The descriptor of standard output, for writing values to it without stdio.
int standardOutputDescriptor();

} // namespace kvp
