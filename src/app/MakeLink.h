#pragma once

#include "platform/Link.h"

#include <memory>

namespace kvp {

// The link a --port names: a serial server for tcp:// and rfc2217://, else a device.
std::unique_ptr<Link> makeLink(const QString &portName);

} // namespace kvp
