#include "BrokerUrl.h"

#include <QUrl>

namespace kvp {
namespace {

struct Failure {
    QString *error;
    BrokerUrlFault *fault;
    QString *part;

    std::optional<BrokerUrl> operator()(BrokerUrlFault what, const QString &why, const QString &quoted = {}) const
    {
        if (error)
            *error = why;
        if (fault)
            *fault = what;
        if (part)
            *part = quoted;
        return std::nullopt;
    }
};

// A prefix is a topic of its own: no wildcards, no empty levels, no NUL.
bool validPrefix(const QString &prefix)
{
    if (prefix.isEmpty() || prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/'))
        || prefix.contains(QStringLiteral("//")))
        return false;
    for (const QChar c : prefix) {
        if (c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() == 0)
            return false;
    }
    return true;
}

QString decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

} // namespace

QString BrokerUrl::hostAndPort() const
{
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return h + QLatin1Char(':') + QString::number(port);
}

QString BrokerUrl::masked() const
{
    QString login;
    if (!user.isEmpty())
        login = QString::fromUtf8(QUrl::toPercentEncoding(user)) + (hasPassword ? QStringLiteral(":***") : QString())
                + QLatin1Char('@');
    return (tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://")) + login + hostAndPort() + QLatin1Char('/')
           + prefix;
}

std::optional<BrokerUrl> BrokerUrl::parse(const QString &text, QString *error, BrokerUrlFault *fault, QString *part)
{
    const Failure fail{error, fault, part};
    BrokerUrl url;
    // A password with an unencoded '/' would end up in the host or the port; then
    // what the messages quote might be part of it, so with a login they quote nothing.
    const bool mayHoldPassword = text.contains(QLatin1Char('@'));
    const auto quoted = [mayHoldPassword](const QString &part) {
        return mayHoldPassword ? QStringLiteral("what is given") : QLatin1Char('\'') + part + QLatin1Char('\'');
    };
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    const QString scheme = schemeEnd < 0 ? QString() : text.left(schemeEnd).toLower();
    if (scheme == QLatin1String("mqtts"))
        url.tls = true;
    else if (scheme != QLatin1String("mqtt"))
        return fail(BrokerUrlFault::scheme, QStringLiteral("--mqtt must begin with mqtt:// or mqtts://, e.g. "
                                          "mqtt://broker.example:1883/plant/kvp"));
    const QString rest = text.mid(schemeEnd + 3);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (rest.isEmpty() || slash == 0)
        return fail(BrokerUrlFault::noHost, QStringLiteral("--mqtt needs a host name or address, e.g. mqtt://127.0.0.1/plant/kvp"));
    // An '@' behind the first '/': a password with an unencoded '/' cut the login short.
    const QString slashHint = mayHoldPassword && slash >= 0 && rest.indexOf(QLatin1Char('@'), slash) > slash
        ? QStringLiteral(" (a '/' in a password is written %2F)")
        : QString();
    if (slash < 0 || slash == rest.size() - 1)
        return fail(BrokerUrlFault::noPrefix, QStringLiteral("--mqtt needs a topic prefix after the host, e.g. mqtt://HOST/plant/kvp"));
    QString authority = rest.left(slash);
    url.prefix = rest.mid(slash + 1);
    // The last '@' ends the login: an unencoded '@' in a password still works.
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString login = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = login.indexOf(QLatin1Char(':'));
        url.user = decoded(colon < 0 ? login : login.left(colon));
        if (colon >= 0) {
            url.password = decoded(login.mid(colon + 1));
            url.hasPassword = true;
        }
        if (url.user.isEmpty())
            return fail(BrokerUrlFault::noUser, QStringLiteral("--mqtt has an '@' but no user name before it"));
    }
    url.port = url.tls ? 8883 : 1883;
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(BrokerUrlFault::openIpv6, QStringLiteral("--mqtt has an IPv6 address without its closing ']'"));
        url.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return fail(BrokerUrlFault::afterIpv6,
                        QStringLiteral("--mqtt has %1 after the IPv6 address; a port is written ]:PORT").arg(quoted(after)),
                        mayHoldPassword ? QString() : quoted(after));
        portText = after.mid(1);
        if (after.startsWith(QLatin1Char(':')) && portText.isEmpty())
            return fail(BrokerUrlFault::noPort, QStringLiteral("--mqtt has a ':' but no port after it") + slashHint);
    } else {
        const qsizetype colon = authority.indexOf(QLatin1Char(':'));
        url.host = colon < 0 ? authority : authority.left(colon);
        if (colon >= 0) {
            portText = authority.mid(colon + 1);
            if (portText.isEmpty())
                return fail(BrokerUrlFault::noPort, QStringLiteral("--mqtt has a ':' but no port after it") + slashHint);
        }
    }
    if (url.host.isEmpty())
        return fail(BrokerUrlFault::noHost, QStringLiteral("--mqtt needs a host name or address, e.g. mqtt://127.0.0.1/plant/kvp"));
    for (const QChar c : std::as_const(url.host)) {
        if (c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('@') || c == QLatin1Char('[')
            || c == QLatin1Char(']'))
            return fail(BrokerUrlFault::badHost, QStringLiteral("--mqtt has no valid host name: %1").arg(quoted(url.host)) + slashHint,
                        mayHoldPassword ? QString() : quoted(url.host));
    }
    if (!portText.isEmpty()) {
        bool digits = true;
        for (const QChar c : std::as_const(portText))
            digits = digits && c.isDigit() && c.unicode() < 128;
        const int port = digits && portText.size() <= 5 ? portText.toInt() : 0;
        if (port < 1 || port > 65535)
            return fail(BrokerUrlFault::badPort,
                        QStringLiteral("--mqtt's port must be a number from 1 to 65535, not %1").arg(quoted(portText)) + slashHint,
                        mayHoldPassword ? QString() : quoted(portText));
        url.port = port;
    }
    if (!validPrefix(url.prefix))
        return fail(BrokerUrlFault::badPrefix,
                    QStringLiteral("--mqtt's topic prefix %1 must be levels separated by single '/', "
                                   "without '+', '#' or a '/' at either end").arg(quoted(url.prefix))
                        + QStringLiteral(" (a '/' in a password is written %2F)"),
                    mayHoldPassword ? QString() : quoted(url.prefix));
    return url;
}

} // namespace kvp
