#pragma once

#include "CycleSettings.h"

#include <algorithm>

namespace kvp {

// The wait for a quiet line before the next command, after an answer was given up
// or overran: a byte gap of silence, counted from the last byte or from `from`,
// whichever is later; a line that never falls silent (a flood) is waited for no
// longer than `bound` from the start.
struct QuietWait {
    TimePoint since{};
    TimePoint from{};
    bool afterTimeout = false; // a time-out led here: bytes now are a late answer
    bool lateSeen = false;

    void begin(TimePoint now, TimePoint silentFrom, bool timedOut)
    {
        since = now;
        from = silentFrom;
        afterTimeout = timedOut;
        lateSeen = false;
    }
    TimePoint due(TimePoint lastByteAt, Clock::duration gap, Clock::duration bound) const
    {
        return std::min(std::max(lastByteAt, from) + gap, since + bound);
    }
    bool over(TimePoint now, TimePoint lastByteAt, Clock::duration gap, Clock::duration bound) const
    {
        return now >= due(lastByteAt, gap, bound);
    }
    // Bytes arrived while waiting: true once, when they are an answer after its time-out.
    bool lateAnswer()
    {
        if (!afterTimeout || lateSeen)
            return false;
        lateSeen = true;
        return true;
    }
};

} // namespace kvp
