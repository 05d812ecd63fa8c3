#pragma once

#include "PublishedValue.h"

namespace kvp {

// What the reading thread hands to the publishing thread: a value, or only a module's
// new state (value.address and value.state). Kept in one stream, so that a module's
// state and its values reach the broker in the order they happened.
struct Publication {
    PublishedValue value;
    bool stateOnly = false;
};

} // namespace kvp
