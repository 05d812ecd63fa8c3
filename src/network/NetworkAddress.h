#pragma once

#include <QString>

#include <optional>

namespace kvp {

// A module behind a serial server, as --port names it: tcp://HOST:PORT for a raw
// connection (the server owns the line settings) or rfc2217://HOST:PORT for a server
// that lets the reader set its line.
struct NetworkAddress {
    enum class Kind { raw, comPortControl };
    Kind kind = Kind::raw;
    QString host;
    quint16 port = 0;

    // Whether a --port names a server rather than a device: it has a scheme.
    static bool isServer(const QString &portName);
    // The address, or why it is none (`why` then says what is wrong).
    static std::optional<NetworkAddress> parse(const QString &text, QString *why = nullptr);
};

} // namespace kvp
