#pragma once

#include "CycleActions.h"
#include "CycleCounters.h"
#include "CycleSettings.h"
#include "CycleStatus.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The self-clocking read cycle: Read sends the parameter command, and every reply
// that is handled sends the next value query while reading is on. One command is on
// the line at a time; a reply is gathered until it is complete (six bytes) or the line
// falls silent, and a reply that never comes is asked for again after a time-out.
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

private:
    enum class Awaiting {
        nothing,
        parameterReply,
        valueReply,
        silence, // a bad reply was seen: wait for the line to go quiet
    };

    CycleActions start(TimePoint now, bool newRun);
    void SetParam(CycleActions &out, TimePoint now);
    void ReadData(CycleActions &out, TimePoint now);
    void sendCommand(CycleActions &out, std::string command, Awaiting awaiting, TimePoint now);
    void evaluate(CycleActions &out, TimePoint now);
    void fail(StaleReason reason);
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
    TimePoint m_silenceSince{};
    std::vector<std::uint8_t> m_reply;
    std::string m_lastCommand;
    size_t m_echoMatched = 0;

    int m_failuresInRow = 0;
    StaleReason m_lastFailure = StaleReason::none;
    bool m_stale = false;
    bool m_echoSuspected = false;
    TimePoint m_lastGoodAt{};

    CycleCounters m_counters;
};

} // namespace kvp
