// A build without libmosquitto: the command line refuses --mqtt before any client is
// made (mqttInThisBuild()); a client made all the same says at once why it cannot work.
#include "MqttAvailable.h"
#include "MqttClient.h"

#include <QSocketNotifier>

namespace kvp {

bool mqttInThisBuild()
{
    return false;
}

bool mqttTlsInThisBuild()
{
    return false;
}

MqttClient::MqttClient(BrokerUrl url, QString caFile, PublicationInbox &inbox, std::size_t capacity)
    : m_url(std::move(url)), m_caFile(std::move(caFile)), m_inbox(inbox), m_queue(capacity)
{
}

MqttClient::~MqttClient() = default;

void MqttClient::start()
{
    QTimer::singleShot(0, this, [this] { emit trouble(BrokerTrouble::other, mqttMissingText()); });
}

void MqttClient::wake()
{
    (void)m_inbox.takeAll(); // nothing will ever send them
}

std::size_t MqttClient::finish(std::chrono::milliseconds)
{
    return 0;
}

void MqttClient::onLookedUp(const QHostInfo &) {}

} // namespace kvp
