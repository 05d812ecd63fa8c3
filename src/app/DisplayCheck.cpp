#include "DisplayCheck.h"

#include <QStringList>

namespace kvp {

bool displayAvailable(const QString &platform, const QString &x11Display, const QString &waylandDisplay)
{
    const bool x11 = !x11Display.isEmpty();
    const bool wayland = !waylandDisplay.isEmpty();
    if (platform.isEmpty())
        return x11 || wayland;
    // "wayland;xcb" names fall-backs in order; "vnc:size=800x600" carries arguments.
    for (const QString &entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("xcb")) {
            if (x11)
                return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (wayland)
                return true;
        } else {
            return true; // offscreen, minimal, vnc, eglfs, linuxfb: no display server needed
        }
    }
    return false;
}

} // namespace kvp
