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

// Whether mqtts:// can be used: a libmosquitto may be built without TLS.
bool mqttTlsInThisBuild();

inline QString mqttTlsMissingText()
{
    return QStringLiteral("mqtts:// (TLS) is not in this build of kvp-reader (its libmosquitto was built without "
                          "TLS): use mqtt://, or a build with TLS");
}

} // namespace kvp
