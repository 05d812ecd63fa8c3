#pragma once

#include "DecimalNumber.h"

#include <optional>

namespace kvp {

// Where a shown value stands against a module's limits.
enum class LimitState { within, above, below };

// A module's low and high limit, in the units shown; either may be absent. A value
// that went beyond one is back within only once it is `deadband` inside it, so that
// noise around a limit is not an alarm and an all-clear at every other value.
struct ValueLimits {
    std::optional<DecimalNumber> low;
    std::optional<DecimalNumber> high;
    DecimalNumber deadband{};

    // A low limit above the high one would make every value out.
    bool valid() const { return !low || !high || low->toDouble() <= high->toDouble(); }
    bool any() const { return low || high; }
    // On a limit is within it.
    LimitState of(double value) const;
    // Where `value` stands when the value before it stood `before`: as of() says,
    // but out still while it is not yet the deadband back inside the limit.
    LimitState after(LimitState before, double value) const;

    friend bool operator==(const ValueLimits &, const ValueLimits &) = default;
};

// Says when a module's values cross a limit: once on the way out, once on the way
// back, and nothing while they stay where they are, so a value hovering out of
// limits is one message, not one per value.
class LimitWatcher
{
public:
    // The new state when `value` is elsewhere than the value before it was.
    std::optional<LimitState> observe(const ValueLimits &limits, double value);
    LimitState state() const { return m_state; }

private:
    LimitState m_state = LimitState::within;
};

} // namespace kvp
