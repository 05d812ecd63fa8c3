#pragma once

#include "CycleActions.h"
#include "CycleCounters.h"
#include "CycleSettings.h"
#include "CycleStatus.h"
#include "ModuleRoster.h"
#include "ModuleState.h"
#include "ReplyFraming.h"
#include "ReplyGatherer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The cycle, state by state ("the block" is what has arrived of the awaited reply):
//
//   state           event                                  then
//   --------------  -------------------------------------  ------------------------------------------
//   any             Read, address 0..31                    parameter command to the first module;
//                                                          -> parameterReply
//   any             Stop                                   reading off; a reply in flight still shows
//   nothing         bytes                                  discarded and counted
//   parameterReply  silence after bytes, or the time-out   short or a value: set up, query
//                   with bytes                             -> valueReply; bad check: give up
//   valueReply      the learned length is reached          it fits: show, query at once (or, when more
//                                                          came behind it, quiet first); it does not:
//                                                          look behind stray bytes as more arrives
//   valueReply      silence, with no learned length or     judge the whole block: show and query,
//                   past it                                or give up
//   valueReply      the time-out, with bytes               judge what was gathered, as on silence, once
//                                                          it is silent (at most a byte gap later)
//   either reply    the time-out, nothing arrived          give up; watch the line a time-out long for
//                                                          a late answer when the module has not
//                                                          answered yet, or timed out before
//   quiet           bytes                                  discarded and counted; the silence restarts
//   quiet           a byte gap of silence (and the watch   next command: a query, or the parameter
//                   over, unless a late answer came), or   command when not set up or after three
//                   a time-out of flood                    failures in a row; a late answer heard
//                                                          first makes the time-out grow to cover
//                                                          it, when the settings allow
//
// Giving up counts the failure and goes quiet, so that nothing late is ever joined
// to the reply of the next command.
//
// With a poll interval, "next command" waits until the interval since the command
// before it is over (the state is nothing meanwhile), except the query that follows
// a module's acknowledged set-up; Read, and a new address typed, start at once.
//
// "Next command" goes to the module whose turn it is (ModuleRoster): on a bus the
// modules are asked one after the other, each set up with its own parameter command
// first (and again after three failures of its own), its first query right after.
// A module that says nothing to its first set-up, or to two commands in a row, and
// one that answers only after a time-out that may not grow, is set aside: the
// modules aside share a small part of the line, and a silent one is given only a
// probe's time to answer, so that the others keep their pace.

// The self-clocking read cycle: Read sends the parameter command, and every reply
// that is handled sends the next value query while reading is on. One command is on
// the line at a time. A reply is gathered until the line falls silent, or, once
// ReplyFraming has learned the module's reply length, until it has that length;
// a reply that never comes is asked for again after a time-out. Several modules on
// one line are asked in turn, one command on the line at a time; what is learned of
// a module's replies, its time-out, failures and counts belong to its address alone
// (ModuleState), whose turn it is and which modules are silent or late is
// ModuleRoster's, and a module that does not answer is asked less often.
//
// The names that come from the module's protocol and its first window keep their
// old convention: handlers are a control and an event joined by an underscore
// (Read_Click), fields and parameters carry a prefix for their type (bolReading,
// bytInput, intInputLenth).
//
// Pure: it is handed button presses, received bytes and the current time, and answers
// with what to send and show. The caller owns the port and arms one timer at
// deadline(), calling tick() when it fires.
class ReadCycle
{
public:
    explicit ReadCycle(CycleSettings settings = {});

    // The address box as it reads now; the next command is built from it. True when
    // that lets the next command go out sooner (a new address is not kept waiting for
    // the poll interval): the caller then asks deadline() again.
    bool setAddressText(std::string addressText);
    // Several modules on one line (a bus), asked in turn; replaces the address box.
    // Each address 0..31, each once. Fewer than two hands the cycle back to the box.
    void setAddresses(std::vector<int> addresses);

    // Read starts a new run of counts.
    CycleActions Read_Click(TimePoint now);
    // Reading again after the port came back: the same as Read, but the counts go on.
    CycleActions resume(TimePoint now);
    CycleActions Stop_Click(TimePoint now);
    // One receive event: the bytes taken and the count of bytes waiting before the take.
    CycleActions ShowData(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth,
                          TimePoint now);
    CycleActions tick(TimePoint now);

    // When tick() must next run; nothing when the cycle waits for the user alone.
    std::optional<TimePoint> deadline() const;

    // Of the module in the address box (the first on a bus), and of any module read.
    CycleStatus status() const { return status(address()); }
    CycleStatus status(int address) const { return m_roster.status(address, bolReading, m_everRead); }
    // The counts of the run: of every module together, and of one.
    CycleCounters counters() const { return m_roster.counters(m_strayBytes); }
    const CycleCounters &counters(int address) const { return m_roster.counters(address); }
    bool reading() const { return bolReading; }
    // The address in the box (the last valid one), or the first on a bus.
    int address() const { return m_roster.first(); }
    // The modules asked in turn.
    const std::vector<int> &addresses() const { return m_roster.order(); }
    // What was learned of the replies of the module in the box, and of every module.
    const ReplyFraming &framing() const { return m_roster.framing(address()); }
    Framings framings() const { return m_roster.framings(); }
    // How long the module in the box is given to answer; grows with late replies
    // when the settings let it.
    Clock::duration replyTimeout() const { return framingOwner() ? framingOwner()->timeout : m_settings.replyTimeout; }
    // On a bus: the modules set aside (silent or late), how often each is asked now,
    // and when one of them is next asked.
    const ModuleRoster &roster() const { return m_roster; }
    const CycleSettings &settings() const { return m_settings; }

private:
    enum class Awaiting {
        nothing, // between replies: a module backing off is not due yet, the poll interval
                 // is not over, or reading is off
        parameterReply,
        valueReply,
        quiet, // a reply was given up or overran: let the line fall silent first
    };

    CycleActions start(TimePoint now, bool newRun);
    void SetParam(CycleActions &out, TimePoint now);
    // A command waits for the poll interval since the one before, but the query of
    // the module `setUpNow` just took its set-up.
    void ReadData(CycleActions &out, TimePoint now, std::optional<int> setUpNow = {});
    void sendCommand(CycleActions &out, std::string command, Awaiting awaiting, TimePoint now);
    void gatherToLength(CycleActions &out, TimePoint now);
    // Judge the block gathered when silence or the time-out ended it.
    void concludeParameterReply(CycleActions &out, TimePoint now, bool timedOut);
    void concludeValueReply(CycleActions &out, TimePoint now, bool timedOut);
    void take(CycleActions &out, TimePoint now, size_t offset, size_t length);
    void good(CycleActions &out, std::int32_t value, TimePoint now);
    void giveUp(CycleActions &out, StaleReason reason, TimePoint now, bool timedOut);
    void leaveQuiet(CycleActions &out, TimePoint now);
    // When a block that has begun must be judged: the time-out, or a little later
    // while its bytes are still coming, so that a reply ending just after the
    // time-out is seen whole.
    TimePoint answerDue() const;
    bool silenceEnds() const;
    bool silentFor(TimePoint now) const { return m_gatherer.silentFor(now, m_settings.byteGap); }
    // How long the module asked now is given: its time-out, or a probe's.
    Clock::duration askedTimeout() const { return m_askedTimeout; }
    ModuleState &module(int address) { return m_roster.module(address); }
    const ModuleState *framingOwner() const { return m_roster.find(address()); }
    ModuleState &asked() { return module(m_asked); }
    bool needsSetUp(const ModuleState &m) const
    {
        return !m.setUp || m.failuresInRow >= m_settings.failuresBeforeSetup;
    }

    CycleSettings m_settings;
    bool bolReading = false;
    bool m_everRead = false;
    std::string m_addressText = "0";
    ModuleRoster m_roster;
    int m_asked = 0; // the module the command on the line is for

    Awaiting m_awaiting = Awaiting::nothing;
    ReplyGatherer m_gatherer;
    Clock::duration m_askedTimeout{};

    // While quiet: the length so far of a good reply whose tail is being let pass
    // (a vote for a longer reply).
    std::optional<size_t> m_tail;
    // Bytes that came while no module was asked.
    std::uint64_t m_strayBytes = 0;
    // The poll interval: no command before this, but the query right after a set-up.
    TimePoint m_nextQueryAt{};
};

} // namespace kvp
