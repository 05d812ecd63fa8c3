#pragma once

#include <QByteArray>

namespace kvp {

// One message for the broker, as it waits in the queue.
struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
    bool retained = false;

    friend bool operator==(const MqttMessage &, const MqttMessage &) = default;
};

} // namespace kvp
