#pragma once

#include "CycleActions.h"
#include "CycleCounters.h"
#include "CycleSettings.h"
#include "CycleStatus.h"
#include "QuietWait.h"
#include "ReplyFraming.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The self-clocking read cycle: Read sends the parameter command, and every reply
// that is handled sends the next value query while reading is on. One command is on
// the line at a time. A reply is gathered until the line falls silent, or, once
// ReplyFraming has learned the module's reply length, until it has that length;
// a reply that never comes is asked for again after a time-out.
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
    const ReplyFraming &framing() const { return m_framing; }
    const CycleSettings &settings() const { return m_settings; }

private:
    enum class Awaiting {
        nothing,
        parameterReply,
        valueReply,
        quiet, // a reply was given up or overran: let the line fall silent first
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
    bool silentFor(TimePoint now) const { return now - m_lastByteAt >= m_settings.byteGap; }
    std::span<const std::uint8_t> withoutEcho(std::span<const std::uint8_t> bytes);
    void updateStale(TimePoint now);

    CycleSettings m_settings;
    bool bolReading = false;
    bool m_everRead = false;
    std::string m_addressText = "0";
    int m_address = 0;
    bool m_setUp = false; // the module has answered the parameter command

    Awaiting m_awaiting = Awaiting::nothing;
    TimePoint m_sentAt{};
    TimePoint m_lastByteAt{};
    std::vector<std::uint8_t> m_reply;
    // The block reached the learned length and was not a reply there: it is now
    // searched for a reply behind stray bytes, and ends on silence.
    bool m_pastLength = false;
    ReplyFraming m_framing;
    std::string m_lastCommand;
    size_t m_echoMatched = 0;

    // While quiet: the wait itself, and the length so far of a good reply whose
    // tail is being let pass (a vote for a longer reply).
    QuietWait m_quiet;
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
