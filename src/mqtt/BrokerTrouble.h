#pragma once

#include <QMetaType>

namespace kvp {

// Every way the broker can be out of reach; brokerText() words each one.
enum class BrokerTrouble {
    refused,        // nothing listens at HOST:PORT
    unknownHost,    // the host name does not resolve
    loginRefused,   // CONNACK: bad user name or password
    notAuthorised,  // CONNACK: the broker does not let this client in
    tlsFailed,      // the TLS handshake or the CA file
    noAnswer,       // no CONNACK within the connect time-out
    lost,           // an open connection broke
    other,          // anything else the library reports (detail says what)
};

// Where the broker stands, for a status line.
enum class BrokerState {
    off,          // no --mqtt
    connecting,   // first attempt
    connected,
    reconnecting, // away; values are kept and sent when it is back
};

} // namespace kvp

Q_DECLARE_METATYPE(kvp::BrokerTrouble)
Q_DECLARE_METATYPE(kvp::BrokerState)
