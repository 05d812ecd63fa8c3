#pragma once

#include "platform/Link.h"

#include <memory>

namespace kvp {

// The serial link of this system: Qt Serial Port's on Linux, Win32's on Windows.
std::unique_ptr<Link> newSerialLink();

} // namespace kvp
