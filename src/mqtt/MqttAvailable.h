#pragma once

#include <QString>

namespace kvp {

// Whether this build can publish to a broker: a build for a system without
// libmosquitto has no MQTT client.
bool mqttInThisBuild();

// What --mqtt and the window say in a build without it.
inline QString mqttMissingText()
{
    return QStringLiteral("MQTT is not in this build of kvp-reader (it was built without libmosquitto)");
}

} // namespace kvp
