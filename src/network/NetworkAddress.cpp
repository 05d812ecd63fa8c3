#include "NetworkAddress.h"

#include <QRegularExpression>

namespace kvp {
namespace {

const QLatin1String kSeparator("://");

std::optional<NetworkAddress> fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return std::nullopt;
}

} // namespace

bool NetworkAddress::isServer(const QString &portName)
{
    return portName.contains(kSeparator);
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &text, QString *why)
{
    const qsizetype separator = text.indexOf(kSeparator);
    if (separator < 0)
        return fail(why, QStringLiteral("it names no server; write tcp://HOST:PORT or rfc2217://HOST:PORT"));
    NetworkAddress address;
    const QString scheme = text.left(separator).toLower();
    if (scheme == QLatin1String("tcp"))
        address.kind = Kind::raw;
    else if (scheme == QLatin1String("rfc2217"))
        address.kind = Kind::comPortControl;
    else
        return fail(why, QStringLiteral("'%1://' is not known; write tcp:// for a raw connection or rfc2217:// for "
                                        "a server that sets the line").arg(text.left(separator)));
    const QString rest = text.mid(separator + kSeparator.size());
    // A name, an IPv4 address, or an IPv6 address in brackets; then the port.
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:\[([0-9A-Fa-f:.]+)\]|([A-Za-z0-9._-]+))(?::([0-9]*))?$)"));
    const QRegularExpressionMatch match = form.match(rest);
    if (!match.hasMatch())
        return fail(why, QStringLiteral("'%1' is not HOST:PORT (a host name or address, a colon, a port number; "
                                        "nothing after the port)").arg(rest));
    address.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const QString port = match.captured(3);
    if (port.isEmpty())
        return fail(why, QStringLiteral("it has no port number: add :PORT, the server's TCP port"));
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number < 1 || number > 65535)
        return fail(why, QStringLiteral("port %1 is out of range: it must be from 1 to 65535").arg(port));
    address.port = static_cast<quint16>(number);
    return address;
}

} // namespace kvp
