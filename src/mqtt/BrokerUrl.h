#pragma once

#include <QString>

#include <optional>

namespace kvp {

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
    static std::optional<BrokerUrl> parse(const QString &text, QString *error);
};

} // namespace kvp
