#include "BrokerText.h"

namespace kvp {
namespace {

const QString kKept = QStringLiteral("values are kept and sent when it is back");

QString withDetail(const QString &detail)
{
    return detail.isEmpty() ? QString() : QStringLiteral(": ") + detail;
}

} // namespace

QString brokerText(BrokerTrouble trouble, const BrokerUrl &url, const QString &detail)
{
    const QString broker = url.hostAndPort();
    switch (trouble) {
    case BrokerTrouble::refused:
        return QStringLiteral("MQTT broker %1 unreachable (connection refused: is the broker running and listening "
                              "on that port?); %2").arg(broker, kKept);
    case BrokerTrouble::unknownHost:
        return QStringLiteral("MQTT broker %1 unreachable (host name '%2' not found%3; check --mqtt); %4")
            .arg(broker, url.host, withDetail(detail), kKept);
    case BrokerTrouble::loginRefused:
        return QStringLiteral("MQTT broker %1 refused the login (bad user name or password: check the user in --mqtt "
                              "and the password); %2").arg(broker, kKept);
    case BrokerTrouble::notAuthorised:
        // What brokers answer a wrong password with, too.
        return QStringLiteral("MQTT broker %1 refused the login (not authorised: check the user in --mqtt and the "
                              "password, and that the broker lets this user in); %2").arg(broker, kKept);
    case BrokerTrouble::tlsFailed:
        return QStringLiteral("MQTT broker %1 unreachable (TLS failed%2: check --mqtt-ca and that the broker speaks TLS "
                              "on that port); %3").arg(broker, withDetail(detail), kKept);
    case BrokerTrouble::noAnswer:
        return QStringLiteral("MQTT broker %1 unreachable (no answer within 10 s: check the address, port and "
                              "firewall); %2").arg(broker, kKept);
    case BrokerTrouble::lost:
        return QStringLiteral("MQTT broker %1 unreachable (connection lost%2); %3")
            .arg(broker, withDetail(detail), kKept);
    case BrokerTrouble::other:
        break;
    }
    return QStringLiteral("MQTT broker %1 unreachable (%2); %3").arg(broker, detail, kKept);
}

QString brokerBackText(const BrokerUrl &url)
{
    return QStringLiteral("MQTT broker %1 is back; sending the values kept meanwhile").arg(url.hostAndPort());
}

QString brokerSummary(const BrokerUrl &url, std::uint64_t delivered, std::uint64_t dropped, std::uint64_t left)
{
    QString text = QStringLiteral("MQTT %1: %2 messages delivered").arg(url.hostAndPort()).arg(delivered);
    if (dropped > 0)
        text += QStringLiteral(", %1 dropped (the oldest, when 10000 were waiting: the broker was away or did not "
                               "keep up)").arg(dropped);
    if (left > 0)
        text += QStringLiteral(", %1 not delivered (the broker was away at the end)").arg(left);
    return text;
}

} // namespace kvp
