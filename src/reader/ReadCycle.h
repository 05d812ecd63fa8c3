#pragma once

#include "CycleActions.h"
#include "CycleCounters.h"
#include "CycleSettings.h"
#include "CycleStatus.h"
#include "ReplyFraming.h"
#include "ReplyGatherer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The self-clocking read cycle: Read sends the parameter command, and every reply
// that is handled sends the next value query while reading is on. One command is on
// the line at a time. A reply is gathered until the line falls silent, or, once
// ReplyFraming has learned the module's reply length, until it has that length;
// a reply that never comes is asked for again after a time-out. What is learned of
// a module's replies, and its time-out, belong to its address alone.
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

    // The address box as it reads now; the next command is built from it.
    void setAddressText(std::string addressText);

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

    CycleStatus status() const;
    const CycleCounters &counters() const { return m_counters; }
    bool reading() const { return bolReading; }
    // The address the cycle is talking to (the last one set up).
    int address() const { return m_address; }
    // What was learned of the replies of the module read now, and of every module.
    const ReplyFraming &framing() const;
    Framings framings() const;
    // How long the module read now is given to answer; grows with late replies
    // when the settings let it.
    Clock::duration replyTimeout() const;
    const CycleSettings &settings() const { return m_settings; }

private:
    enum class Awaiting {
        nothing,
        parameterReply,
        valueReply,
        quiet, // a reply was given up or overran: let the line fall silent first
    };
    // What the cycle knows of one address.
    struct Module {
        ReplyFraming framing;
        Clock::duration timeout{};
        bool timeoutGrown = false;
        bool answered = false; // a value came within the time-out this run
    };

    CycleActions start(TimePoint now, bool newRun);
    void SetParam(CycleActions &out, TimePoint now);
    void ReadData(CycleActions &out, TimePoint now);
    void sendCommand(CycleActions &out, std::string command, Awaiting awaiting, TimePoint now);
    void gatherToLength(CycleActions &out, TimePoint now);
    // Judge the block gathered when silence or the time-out ended it.
    void concludeParameterReply(CycleActions &out, TimePoint now, bool timedOut);
    void concludeValueReply(CycleActions &out, TimePoint now, bool timedOut);
    void take(CycleActions &out, TimePoint now, size_t offset, size_t length);
    void good(CycleActions &out, std::int32_t value, TimePoint now);
    void giveUp(CycleActions &out, StaleReason reason, TimePoint now, bool timedOut);
    void leaveQuiet(CycleActions &out, TimePoint now);
    void learnFromLateAnswer(CycleActions &out);
    // When a block that has begun must be judged: the time-out, or a little later
    // while its bytes are still coming, so that a reply ending just after the
    // time-out is seen whole.
    TimePoint answerDue() const;
    bool silenceEnds() const;
    bool silentFor(TimePoint now) const { return m_gatherer.silentFor(now, m_settings.byteGap); }
    void updateStale(TimePoint now);
    Module &module();
    const Module *findModule() const;

    CycleSettings m_settings;
    bool bolReading = false;
    bool m_everRead = false;
    std::string m_addressText = "0";
    int m_address = 0;
    bool m_setUp = false; // the module has answered the parameter command

    Awaiting m_awaiting = Awaiting::nothing;
    ReplyGatherer m_gatherer;
    std::map<int, Module> m_modules;

    // While quiet: the length so far of a good reply whose tail is being let pass
    // (a vote for a longer reply).
    std::optional<size_t> m_tail;
    int m_lateInRow = 0;

    int m_failuresInRow = 0;
    StaleReason m_lastFailure = StaleReason::none;
    bool m_stale = false;
    bool m_echoSuspected = false;
    TimePoint m_lastGoodAt{};

    CycleCounters m_counters;
};

} // namespace kvp
