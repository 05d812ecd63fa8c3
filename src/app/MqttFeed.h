#pragma once

#include "ReadSession.h"
#include "mqtt/MqttPublisher.h"

#include <QObject>

#include <map>

namespace kvp {

// Hands what the session reads to the publisher: each value, and each module's state
// (live, stale, no answer, gone) when it changes.
class MqttFeed : public QObject
{
    Q_OBJECT

public:
    MqttFeed(ReadSession &session, MqttPublisher &publisher, QObject *parent = nullptr);

    // The state a condition of the cycle is published as; empty for none.
    static QString stateOf(Condition condition);

private:
    void onValue(const QString &text, int address);
    void setState(int address, const QString &state);

    ReadSession &m_session;
    MqttPublisher &m_publisher;
    std::map<int, QString> m_states;
};

} // namespace kvp
