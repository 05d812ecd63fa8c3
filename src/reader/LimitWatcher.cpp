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

LimitState ValueLimits::after(LimitState before, double value) const
{
    const LimitState now = of(value);
    const double band = deadband.toDouble();
    if (now != LimitState::within || band <= 0)
        return now;
    if (before == LimitState::above && high && value > high->toDouble() - band)
        return LimitState::above;
    if (before == LimitState::below && low && value < low->toDouble() + band)
        return LimitState::below;
    return now;
}

std::optional<LimitState> LimitWatcher::observe(const ValueLimits &limits, double value)
{
    const LimitState now = limits.after(m_state, value);
    if (now == m_state)
        return std::nullopt;
    m_state = now;
    return now;
}

} // namespace kvp
