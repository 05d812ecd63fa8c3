#pragma once

#include <QString>

namespace kvp {

// Whether Qt will find a display with this environment: the value of
// QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY. Qt aborts the program when it
// finds none, so the window is not started without one.
bool displayAvailable(const QString &platform, const QString &x11Display, const QString &waylandDisplay);
// The same for this process's environment.
bool displayAvailable();

} // namespace kvp
