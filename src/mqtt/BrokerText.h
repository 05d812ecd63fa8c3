#pragma once

#include "BrokerTrouble.h"
#include "BrokerUrl.h"

#include <QString>

#include <cstdint>

namespace kvp {

// The stderr words for the broker; English, never with the password.
QString brokerText(BrokerTrouble trouble, const BrokerUrl &url, const QString &detail);
QString brokerBackText(const BrokerUrl &url);
// The run's summary line: delivered, dropped because the queue was full, and left
// undelivered at the end.
QString brokerSummary(const BrokerUrl &url, std::uint64_t delivered, std::uint64_t dropped, std::uint64_t left);

} // namespace kvp
