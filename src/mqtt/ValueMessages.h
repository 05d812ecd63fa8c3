#pragma once

#include "MqttMessage.h"
#include "PublishedValue.h"

#include <QString>

#include <array>

namespace kvp {

// The topics and payloads the reader publishes under PREFIX:
//   PREFIX/ADDRESS/value   the value text (retained)
//   PREFIX/ADDRESS/json    {"time","raw","value","unit","state"} (not retained)
//   PREFIX/ADDRESS/state   live, stale, no answer or gone (retained)
//   PREFIX/status          online or offline (retained; offline is also the will)
QByteArray jsonPayload(const PublishedValue &value);
std::array<MqttMessage, 2> valueMessages(const QString &prefix, const PublishedValue &value);
MqttMessage stateMessage(const QString &prefix, int address, const QString &state);
MqttMessage statusMessage(const QString &prefix, bool online);

} // namespace kvp
