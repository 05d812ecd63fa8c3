#include "PortSettings.h"

namespace kvp {

QString PortSettings::defaultPortName()
{
    return QStringLiteral("COM1");
}

} // namespace kvp
