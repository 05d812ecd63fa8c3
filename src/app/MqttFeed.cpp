#include "MqttFeed.h"

#include <QDateTime>

#include <algorithm>

namespace kvp {

MqttFeed::MqttFeed(ReadSession &session, MqttPublisher &publisher, QObject *parent)
    : QObject(parent), m_session(session), m_publisher(publisher)
{
    connect(&session, &ReadSession::conditionChanged, this, [this](Condition condition) {
        if (!m_session.onBus())
            setState(m_session.cycle().address(), stateOf(condition));
        staleUnlessRead();
    });
    connect(&session, &ReadSession::moduleConditionChanged, this, [this](Condition condition, int address) {
        setState(address, stateOf(condition));
        staleUnlessRead();
    });
    // Every module on the line went with the device.
    connect(&session, &ReadSession::portFailed, this, [this] {
        for (auto &[address, state] : m_states)
            setState(address, QStringLiteral("gone"));
    });
}

QString MqttFeed::stateOf(Condition condition)
{
    switch (condition) {
    case Condition::reading:
        return QStringLiteral("live");
    case Condition::noAnswer:
        return QStringLiteral("no answer");
    case Condition::badCheck:
    case Condition::echoOnLine:
    case Condition::repliesLate:
    case Condition::badTrailer:
    case Condition::repliesCutShort:
    case Condition::stopped:
        return QStringLiteral("stale");
    default:
        return {};
    }
}

void MqttFeed::publishValue(const QString &text, int address)
{
    setState(address, QStringLiteral("live"));
    // The text is the value as printed or shown, scaled when units are set; the
    // count the module sent and the unit come from the session's last reading.
    const auto reading = m_session.lastReading(address);
    const QString raw = reading ? QString::number(reading->raw) : text;
    const QString unit = QString::fromStdString(m_session.readouts().of(address).units.unit);
    m_publisher.publishValue({address, raw, text, unit, QStringLiteral("live"), QDateTime::currentDateTimeUtc()});
}

void MqttFeed::staleUnlessRead()
{
    // A module no longer asked (another address typed, or taken off the bus) keeps
    // its last value on the broker, but is not live.
    const std::vector<int> &read = m_session.cycle().addresses();
    for (auto &[address, state] : m_states)
        if (state == QLatin1String("live") && std::find(read.begin(), read.end(), address) == read.end())
            setState(address, QStringLiteral("stale"));
}

void MqttFeed::setState(int address, const QString &state)
{
    if (state.isEmpty())
        return;
    QString &published = m_states[address];
    if (published == state)
        return;
    published = state;
    m_publisher.publishState(address, state);
}

} // namespace kvp
