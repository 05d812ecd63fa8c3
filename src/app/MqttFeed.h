#pragma once

#include "ReadSession.h"
#include "mqtt/MqttPublisher.h"

#include <QObject>

#include <map>

namespace kvp {

// Hands what the session reads to the publisher: each module's state (live, stale,
// no answer, gone) when it changes, and each value given to publishValue(): the
// console gives those it printed, the window those it showed.
class MqttFeed : public QObject
{
    Q_OBJECT

public:
    MqttFeed(ReadSession &session, MqttPublisher &publisher, QObject *parent = nullptr);

    // The state a condition of the cycle is published as; empty for none.
    static QString stateOf(Condition condition);

    void publishValue(const QString &text, int address);

private:
    void setState(int address, const QString &state);
    void staleUnlessRead();

    ReadSession &m_session;
    MqttPublisher &m_publisher;
    std::map<int, QString> m_states;
};

} // namespace kvp
