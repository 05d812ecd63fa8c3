#pragma once

#include "CycleCounters.h"
#include "CycleSettings.h"
#include "CycleStatus.h"
#include "ReplyFraming.h"

#include <optional>

namespace kvp {

// What the reader knows of one module on the line and how its replies have gone:
// what its replies look like and how long it may take, whether it is set up, its
// run of failures, whether the value last shown for it is stale, when it may next
// be asked, and its counts. Every module on a bus has its own; nothing of one is
// ever used for another.
struct ModuleState {
    ModuleState(int address, const CycleSettings &settings);

    // Reading starts (again): the module is set up before it is asked; a new run
    // starts its counts afresh.
    void start(TimePoint now, bool newRun);
    // A good value came from it.
    void good(TimePoint now);
    // No failure, nothing stale, due now.
    void live(TimePoint now);
    // Its answer was given up; `silent` when nothing at all came.
    void failed(StaleReason reason, bool silent, TimePoint now);
    // No good value for two of its time-outs: what is on display is stale. One lost
    // answer is asked again and costs one time-out; a line that loses one now and then
    // is not a module gone. On a bus, where a module waits its turn and the others'
    // losses take time too, only once failedOnBus().
    void updateStale(TimePoint now, bool reading, bool onBus);
    // How long after a command of `commandBytes` a copy of the module's last reply
    // that is already whole cannot be its answer (nothing: any time it can).
    Clock::duration ownCopyWindow(std::size_t commandBytes) const;
    // Its quickest answer yet, less `jitter`: another module's copy whole sooner is no
    // answer of this one (nothing before it answered).
    Clock::duration quickest(Clock::duration jitter) const
    {
        return counters.timedReplies && counters.replyTimeMin > jitter ? counters.replyTimeMin - jitter : Clock::duration{};
    }
    // How long a value stays live without a good one after it.
    Clock::duration freshFor() const { return 2 * timeout + pace; }
    // On a bus: failed twice in a row, or set aside (a silent one is set up at each ask).
    bool failedOnBus() const { return failuresInRow >= 2 || aside != Aside::no; }
    CycleStatus status(bool reading, bool everRead) const;
    // A late answer ended this long after its command: the time-out grows to cover
    // the next ones with half as much again, in whole tenths of a second, when the
    // settings let it. Its new length; nothing when it stays (it may not grow, or
    // already covers it: the answer was late only for a probe's shorter wait).
    std::optional<milliseconds> lateAnswer(Clock::duration late, const CycleSettings &settings);

    // On a bus, a module that does not answer, or answers only after a time-out that
    // may not grow, is asked only in the share of the line the silent ones have.
    enum class Aside { no, silent, late };

    int address = 0;
    ReplyFraming framing;
    Clock::duration timeout{};
    // The poll interval: a value is not stale while the next query is merely not due.
    Clock::duration pace{};
    bool timeoutGrown = false;
    bool answered = false; // a value came within the time-out this run
    bool setUp = false;    // it has answered the parameter command
    int failuresInRow = 0; // since it was last set up
    int silentInRow = 0;   // time-outs in a row with nothing heard
    StaleReason lastFailure = StaleReason::none;
    bool stale = false;
    bool echoSuspected = false;
    int lateInRow = 0;
    TimePoint lastGoodAt{};
    TimePoint lastFailedAt{};
    Aside aside = Aside::no;
    bool askedSinceStart = false;
    bool backedOffSaid = false; // that it is aside, said once
    // While silent: whether a probe of it watched its whole time-out (once a start),
    // and what the others had heard that was not theirs when it was last given up.
    bool watchedWhole = false;
    std::uint64_t othersOddAt = 0;
    CycleCounters counters;
};

} // namespace kvp
