#include "PortSettings.h"

namespace kvp {

QString PortSettings::defaultPortName()
{
    return QStringLiteral("/dev/ttyS0");
}

} // namespace kvp
