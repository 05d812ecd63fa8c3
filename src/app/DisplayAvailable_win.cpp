#include "DisplayCheck.h"

namespace kvp {

bool displayAvailable()
{
    // A Windows session always has its desktop; only a platform asked for by name
    // (QT_QPA_PLATFORM) can be one that is not there.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    return platform.isEmpty() || displayAvailable(platform, {}, {});
}

} // namespace kvp
