#pragma once

namespace kvp {

// Sends Qt's own warnings through writeStderrLine, so that standard error holds
// nothing but "kvp-reader: " lines, whatever a Qt class has to say.
void routeQtMessages();

} // namespace kvp
