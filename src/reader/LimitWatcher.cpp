#include "LimitWatcher.h"

namespace kvp {

LimitState ValueLimits::of(double value) const
{
    if (high && value > high->toDouble())
        return LimitState::above;
    if (low && value < low->toDouble())
        return LimitState::below;
    return LimitState::within;
}

std::optional<LimitState> LimitWatcher::observe(const ValueLimits &limits, double value)
{
    const LimitState now = limits.of(value);
    if (now == m_state)
        return std::nullopt;
    m_state = now;
    return now;
}

} // namespace kvp
