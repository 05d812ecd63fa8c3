#pragma once

namespace kvp {

enum class CyclePhase {
    ready,   // nothing read yet since start
    reading, // the user wants values
    stopped, // the user pressed Stop
};

// Why the value on display is no longer live.
enum class StaleReason {
    none,
    noAnswer,
    badCheck,
    // Replies pass their check byte but do not end as this module's replies did:
    // another length, or other fixed bytes after the check byte.
    badTrailer,
    // Replies come but stop partway: two modules answering the same address at once
    // (a collision), or a line that loses bytes. Not silence: the module is there.
    cutShort,
};

struct CycleStatus {
    CyclePhase phase = CyclePhase::ready;
    StaleReason stale = StaleReason::none;
    // The failing replies began with the command just sent: an RS-485 echo.
    bool echoSuspected = false;
    // While reading, replies keep arriving just after the reply time-out: the
    // time-out is too short for this module or adapter.
    bool repliesLate = false;

    bool operator==(const CycleStatus &) const = default;
};

} // namespace kvp
