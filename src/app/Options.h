#pragma once

#include "mqtt/BrokerUrl.h"
#include "reader/CycleSettings.h"
#include "reader/Readouts.h"

#include <QList>
#include <QString>

#include <map>
#include <optional>

namespace kvp {

// What the command line asked for. The defaults are the plain program: the first
// serial port, address 0, a window.
struct Options {
    QString port;         // empty: the machine's first serial port
    QString address = QStringLiteral("0"); // the first, or only, module
    QList<int> bus;       // console: several modules on one line, read in turn; empty for one
    int timeoutMs = static_cast<int>(CycleSettings{}.replyTimeout.count());
    bool listPorts = false;
    bool simulate = false;
    bool console = false;
    int count = 0;        // console: stop after this many values; 0 = never
    int giveUpSeconds = 0; // console: end when the device has been away this long; 0 = never
    bool echo = false;
    bool scan = false;    // ask every address once, list those that answer, and exit
    QString logFile;
    // --scale, --offset, --decimals, --unit, --low, --high: of every module.
    ReadoutSettings readout;
    std::map<int, ReadoutSettings> readoutByAddress; // the same options as ADDRESS=VALUE: one module's
    int intervalMs = 0; // --interval: the least time from one value query to the next
    // --mqtt: where every value is published, the password already taken from the
    // URL, --mqtt-password-file or KVP_MQTT_PASSWORD; and --mqtt-ca for mqtts://.
    std::optional<BrokerUrl> mqtt;
    QString mqttCa;
    // Given on the command line, so they win over what the window remembers.
    bool addressGiven = false;
    bool timeoutGiven = false;
    bool echoGiven = false;
    bool readoutGiven = false;
    bool intervalGiven = false;
};

} // namespace kvp
