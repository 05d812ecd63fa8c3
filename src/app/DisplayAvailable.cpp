#include "DisplayCheck.h"

namespace kvp {

bool displayAvailable()
{
    return displayAvailable(qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("DISPLAY"),
                            qEnvironmentVariable("WAYLAND_DISPLAY"));
}

} // namespace kvp
