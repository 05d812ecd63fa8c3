#include "MqttPublisher.h"

#include "MqttClient.h"

#include <QCoreApplication>

#include <utility>

namespace kvp {

MqttPublisher::MqttPublisher(BrokerUrl url, QString caFile, std::size_t capacity, QObject *parent)
    : QObject(parent), m_inbox(capacity),
      m_client(new MqttClient(std::move(url), std::move(caFile), m_inbox, capacity))
{
    m_thread.setObjectName(QStringLiteral("mqtt"));
    m_client->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_client, &QObject::deleteLater);
    connect(m_client, &MqttClient::stateChanged, this, &MqttPublisher::setState);
    connect(m_client, &MqttClient::trouble, this, &MqttPublisher::trouble);
    connect(m_client, &MqttClient::connected, this, &MqttPublisher::connected);
}

MqttPublisher::~MqttPublisher()
{
    if (m_started) {
        m_thread.quit();
        m_thread.wait();
    } else {
        delete m_client; // its thread never ran
    }
}

void MqttPublisher::start()
{
    if (m_started || m_finished)
        return;
    m_started = true;
    setState(BrokerState::connecting); // at once, as the window shows it
    m_thread.start();
    QMetaObject::invokeMethod(m_client, &MqttClient::start, Qt::QueuedConnection);
    if (m_inbox.size() > 0)
        QMetaObject::invokeMethod(m_client, &MqttClient::wake, Qt::QueuedConnection);
}

void MqttPublisher::publishValue(const PublishedValue &value)
{
    hand({value, false});
}

void MqttPublisher::publishState(int address, const QString &state)
{
    PublishedValue value;
    value.address = address;
    value.state = state;
    hand({std::move(value), true});
}

void MqttPublisher::hand(Publication publication)
{
    if (m_finished)
        return;
    if (m_inbox.push(std::move(publication)) && m_started)
        QMetaObject::invokeMethod(m_client, &MqttClient::wake, Qt::QueuedConnection);
}

std::size_t MqttPublisher::finish(std::chrono::milliseconds wait)
{
    if (std::exchange(m_finished, true))
        return m_left;
    m_left = m_inbox.size();
    if (!m_started)
        return m_left;
    QMetaObject::invokeMethod(
        m_client,
        [this, wait] {
            m_left = m_client->finish(wait);
            m_delivered = m_client->queue().delivered();
            m_dropped = m_client->queue().dropped();
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    // What the connection said meanwhile (a broker that refused at the last moment)
    // waits in this thread's queue, and the caller's event loop may be over.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return m_left;
}

void MqttPublisher::setState(BrokerState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

std::uint64_t MqttPublisher::dropped() const
{
    return m_dropped + m_inbox.dropped();
}

} // namespace kvp
