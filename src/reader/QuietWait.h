#pragma once

#include "CycleSettings.h"

#include <algorithm>

namespace kvp {

// The wait for a quiet line before the next command, after an answer was given up
// or overran: a byte gap of silence, counted from the last byte or from `from`,
// whichever is later; a line that never falls silent (a flood) is waited for no
// longer than `bound` from the start.
//
// After a time-out the wait may also watch the line for a while: an answer that
// comes then is late, not lost, and must be seen before the next command goes out,
// or it would pass for the answer to that one.
struct QuietWait {
    TimePoint since{};
    TimePoint from{};
    Clock::duration watch{};
    bool afterTimeout = false; // a time-out led here: bytes now are a late answer
    bool lateSeen = false;

    void begin(TimePoint now, TimePoint silentFrom, bool timedOut, Clock::duration watchFor = {})
    {
        since = now;
        from = silentFrom;
        watch = timedOut ? watchFor : Clock::duration{};
        afterTimeout = timedOut;
        lateSeen = false;
    }
    TimePoint due(TimePoint lastByteAt, Clock::duration gap, Clock::duration bound) const
    {
        TimePoint quiet = std::max(lastByteAt, from) + gap;
        if (!lateSeen)
            quiet = std::max(quiet, since + watch);
        return std::min(quiet, since + std::max(bound, watch + gap));
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
