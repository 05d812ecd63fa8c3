#pragma once

#include <QString>

#include <optional>

namespace kvp {

// What is wrong with a text that is no broker URL, for whoever words it otherwise
// than the command line does.
enum class BrokerUrlFault {
    scheme,      // not mqtt:// or mqtts://
    noPrefix,    // no topic prefix after the host
    noUser,      // '@' without a user name
    openIpv6,    // '[' without ']'
    afterIpv6,   // something but :PORT after the IPv6 address (the part)
    noPort,      // ':' without a port
    noHost,      // no host
    badHost,     // a host with spaces, '/', '@', '[' or ']' (the part)
    badPort,     // not 1..65535 (the part)
    badPrefix,   // wildcards, empty levels (the part)
};

// Where values are published: --mqtt mqtt://[USER[:PASSWORD]@]HOST[:PORT]/PREFIX, or
// mqtts:// for TLS. User and password may be percent-encoded, so that a password
// can hold '@', ':' or '/'.
struct BrokerUrl {
    bool tls = false;
    QString user;
    QString password;
    bool hasPassword = false; // an empty password is a password too
    QString host;
    int port = 1883;
    QString prefix; // the topics' first levels, without a trailing '/'

    // The URL again with the password, if any, as "***": for anything shown.
    QString masked() const;
    // HOST:PORT, as messages name the broker (IPv6 in brackets).
    QString hostAndPort() const;

    // Null with `error` set when the text is no such URL. The error never repeats
    // the password.
    // `fault` and `part` (what the error quotes, if anything) say the same for a window.
    static std::optional<BrokerUrl> parse(const QString &text, QString *error, BrokerUrlFault *fault = nullptr,
                                          QString *part = nullptr);
};

} // namespace kvp
