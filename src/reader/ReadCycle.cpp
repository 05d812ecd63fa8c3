#include "ReadCycle.h"

#include "protocol/Address.h"
#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>
#include <limits>

namespace kvp {

ReadCycle::ReadCycle(CycleSettings settings) : m_settings(settings)
{
    m_reply.reserve(kReplyLength);
}

void ReadCycle::setAddressText(std::string addressText)
{
    m_addressText = std::move(addressText);
}

CycleActions ReadCycle::Read_Click(TimePoint now)
{
    return start(now, true);
}

CycleActions ReadCycle::resume(TimePoint now)
{
    return start(now, false);
}

CycleActions ReadCycle::start(TimePoint now, bool newRun)
{
    CycleActions out;
    if (!validAddress(m_addressText)) {
        out.invalidAddress = true;
        return out;
    }
    // Read while reading starts over: there is never a second chain of queries.
    bolReading = true;
    m_everRead = true;
    m_lastFailure = StaleReason::none;
    m_stale = false;
    m_echoSuspected = false;
    m_lastGoodAt = now;
    if (newRun) {
        m_counters = {};
        m_counters.runStart = now;
    }
    SetParam(out, now);
    return out;
}

CycleActions ReadCycle::Stop_Click(TimePoint)
{
    // The reply already on its way is still awaited and, if good, shown.
    bolReading = false;
    return {};
}

CycleActions ReadCycle::ShowData(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth,
                                 TimePoint now)
{
    CycleActions out;
    if (intInputLenth < 0)
        return out;
    if (m_awaiting == Awaiting::nothing || m_awaiting == Awaiting::silence) {
        // Nobody asked for these. While waiting for silence they also push it back.
        m_counters.discardedBytes += bytInput.size();
        if (m_awaiting == Awaiting::silence)
            m_lastByteAt = now;
        updateStale(now);
        return out;
    }

    const auto bytes = withoutEcho(bytInput);
    if (!bytes.empty()) {
        const size_t take = std::min(bytes.size(), kReplyLength - m_reply.size());
        m_reply.insert(m_reply.end(), bytes.begin(), bytes.begin() + take);
        m_counters.discardedBytes += bytes.size() - take;
        m_lastByteAt = now;
        if (m_reply.size() == kReplyLength)
            evaluate(out, now);
    }
    updateStale(now);
    return out;
}

CycleActions ReadCycle::tick(TimePoint now)
{
    CycleActions out;
    switch (m_awaiting) {
    case Awaiting::parameterReply:
    case Awaiting::valueReply:
        if (!m_reply.empty() && now - m_lastByteAt >= m_settings.byteGap) {
            evaluate(out, now); // a short reply: the line fell silent before six bytes
        } else if (now - m_sentAt >= m_settings.replyTimeout) {
            ++m_counters.timeouts;
            m_counters.discardedBytes += m_reply.size();
            m_reply.clear();
            m_awaiting = Awaiting::nothing;
            fail(StaleReason::noAnswer);
            ReadData(out, now);
        }
        break;
    case Awaiting::silence:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (now - m_lastByteAt >= m_settings.byteGap || now - m_silenceSince >= m_settings.replyTimeout) {
            m_awaiting = Awaiting::nothing;
            ReadData(out, now);
        }
        break;
    case Awaiting::nothing:
        break;
    }
    updateStale(now);
    return out;
}

std::optional<TimePoint> ReadCycle::deadline() const
{
    std::optional<TimePoint> next;
    const auto consider = [&next](TimePoint t) {
        if (!next || t < *next)
            next = t;
    };
    switch (m_awaiting) {
    case Awaiting::parameterReply:
    case Awaiting::valueReply:
        consider(m_sentAt + m_settings.replyTimeout);
        if (!m_reply.empty())
            consider(m_lastByteAt + m_settings.byteGap);
        break;
    case Awaiting::silence:
        consider(m_lastByteAt + m_settings.byteGap);
        consider(m_silenceSince + m_settings.replyTimeout);
        break;
    case Awaiting::nothing:
        break;
    }
    if (bolReading && !m_stale)
        consider(m_lastGoodAt + m_settings.replyTimeout);
    return next;
}

CycleStatus ReadCycle::status() const
{
    CycleStatus s;
    s.phase = bolReading ? CyclePhase::reading : m_everRead ? CyclePhase::stopped : CyclePhase::ready;
    if (bolReading && m_stale) {
        s.stale = m_lastFailure == StaleReason::none ? StaleReason::noAnswer : m_lastFailure;
        s.echoSuspected = m_echoSuspected;
    }
    return s;
}

void ReadCycle::SetParam(CycleActions &out, TimePoint now)
{
    if (const auto wanted = validAddress(m_addressText))
        m_address = *wanted;
    m_setUp = false;
    m_failuresInRow = 0;
    sendCommand(out, BuildParameterCommand(std::to_string(m_address)), Awaiting::parameterReply, now);
}

void ReadCycle::ReadData(CycleActions &out, TimePoint now)
{
    if (!bolReading)
        return;
    // A module is always set up before it is queried: at a new address, after it
    // failed to take the parameter command, and after a run of failed replies
    // (it may have been restarted). An invalid address text keeps the last address.
    const auto wanted = validAddress(m_addressText);
    if ((wanted && *wanted != m_address) || !m_setUp || m_failuresInRow >= m_settings.failuresBeforeSetup) {
        SetParam(out, now);
        return;
    }
    sendCommand(out, BuildValueQuery(std::to_string(m_address)), Awaiting::valueReply, now);
}

void ReadCycle::sendCommand(CycleActions &out, std::string command, Awaiting awaiting, TimePoint now)
{
    m_reply.clear();
    m_echoMatched = 0;
    m_lastCommand = command;
    m_awaiting = awaiting;
    m_sentAt = now;
    ++m_counters.commandsSent;
    out.send = std::move(command);
}

void ReadCycle::evaluate(CycleActions &out, TimePoint now)
{
    const auto count = static_cast<std::int16_t>(
        std::min<size_t>(m_reply.size(), std::numeric_limits<std::int16_t>::max()));
    const Evaluation result = EvaluateReply(m_reply, count);
    const Awaiting answered = m_awaiting;
    m_awaiting = Awaiting::nothing;

    switch (result.outcome) {
    case Outcome::none:
        break;
    case Outcome::short_:
        ++m_counters.shortReplies;
        // A short answer is how the module acknowledges set-up; to a query it is a
        // reply that lost bytes.
        if (answered == Awaiting::parameterReply)
            m_setUp = true;
        else
            fail(StaleReason::noAnswer);
        ReadData(out, now);
        break;
    case Outcome::badCheck:
        ++m_counters.badChecks;
        m_echoSuspected = std::equal(m_reply.begin(), m_reply.end(), m_lastCommand.begin(),
                                     m_lastCommand.begin() + std::min(m_reply.size(), m_lastCommand.size()));
        fail(StaleReason::badCheck);
        // The rest of a garbled reply may still be coming: let it pass before asking again.
        m_awaiting = Awaiting::silence;
        m_silenceSince = now;
        m_lastByteAt = now;
        break;
    case Outcome::value:
        out.show = ValueText(result.value);
        ++m_counters.goodValues;
        if (answered == Awaiting::valueReply)
            m_counters.noteReplyTime(now - m_sentAt);
        m_setUp = true;
        m_failuresInRow = 0;
        m_lastFailure = StaleReason::none;
        m_stale = false;
        m_echoSuspected = false;
        m_lastGoodAt = now;
        ReadData(out, now);
        break;
    }
    m_reply.clear();
}

void ReadCycle::fail(StaleReason reason)
{
    ++m_failuresInRow;
    m_lastFailure = reason;
}

std::span<const std::uint8_t> ReadCycle::withoutEcho(std::span<const std::uint8_t> bytes)
{
    if (!m_settings.dropEcho)
        return bytes;
    size_t echoed = 0;
    while (echoed < bytes.size() && m_echoMatched < m_lastCommand.size()
           && bytes[echoed] == static_cast<std::uint8_t>(m_lastCommand[m_echoMatched])) {
        ++echoed;
        ++m_echoMatched;
    }
    // The first byte that does not repeat the command ends the echo, heard or not.
    if (echoed < bytes.size())
        m_echoMatched = m_lastCommand.size();
    return bytes.subspan(echoed);
}

void ReadCycle::updateStale(TimePoint now)
{
    if (bolReading && !m_stale && now - m_lastGoodAt >= m_settings.replyTimeout)
        m_stale = true;
}

} // namespace kvp
