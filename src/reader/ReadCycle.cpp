#include "ReadCycle.h"

#include "protocol/Address.h"
#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>
#include <limits>

// The cycle, state by state ("the block" is what has arrived of the awaited reply):
//
//   state           event                                  then
//   --------------  -------------------------------------  ------------------------------------------
//   any             Read, address 0..31                    parameter command; -> parameterReply
//   any             Stop                                   reading off; a reply in flight still shows
//   nothing         bytes                                  discarded and counted
//   parameterReply  silence after bytes, or the time-out   short or a value: set up, query
//                   with bytes                             -> valueReply; bad check: give up
//   valueReply      the learned length is reached          it fits: show, query at once (or, when more
//                                                          came behind it, quiet first); it does not:
//                                                          look behind stray bytes as more arrives
//   valueReply      silence, with no learned length or     judge the whole block: show and query,
//                   past it                                or give up
//   valueReply      the time-out, with bytes               judge what was gathered, as on silence
//   either reply    the time-out, nothing arrived          give up
//   quiet           bytes                                  discarded and counted; the silence restarts
//   quiet           a byte gap of silence, or a time-out   next command: a query, or the parameter
//                   of flood                               command when not set up or after three
//                                                          failures in a row
//
// Giving up counts the failure and goes quiet, so that nothing late is ever joined
// to the reply of the next command.

namespace kvp {
namespace {

// Longer than any reply with stray bytes in front: noise, not worth gathering.
constexpr size_t kMaxBlock = ReplyFraming::kMaxLength + ReplyFraming::kMaxSkip;

std::int16_t countOf(std::span<const std::uint8_t> block)
{
    return static_cast<std::int16_t>(std::min<size_t>(block.size(), std::numeric_limits<std::int16_t>::max()));
}

} // namespace

ReadCycle::ReadCycle(CycleSettings settings) : m_settings(settings)
{
    m_reply.reserve(kMaxBlock);
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
    m_lateInRow = 0;
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
    switch (m_awaiting) {
    case Awaiting::nothing:
        m_counters.discardedBytes += bytInput.size();
        break;
    case Awaiting::quiet:
        m_counters.discardedBytes += bytInput.size();
        if (bytInput.empty())
            break;
        m_lastByteAt = now;
        if (m_tail)
            *m_tail += bytInput.size();
        if (m_quiet.lateAnswer()) {
            ++m_counters.lateReplies;
            ++m_lateInRow;
        }
        break;
    case Awaiting::parameterReply:
    case Awaiting::valueReply: {
        const auto bytes = withoutEcho(bytInput);
        if (bytes.empty())
            break;
        m_lastByteAt = now;
        const size_t take = std::min(bytes.size(), kMaxBlock - m_reply.size());
        m_reply.insert(m_reply.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        m_counters.discardedBytes += bytes.size() - take;
        if (m_awaiting == Awaiting::valueReply && m_framing.length())
            gatherToLength(out, now);
        if ((m_awaiting == Awaiting::valueReply || m_awaiting == Awaiting::parameterReply)
            && m_reply.size() >= kMaxBlock) {
            ++m_counters.badChecks;
            giveUp(out, StaleReason::badCheck, now, false);
        }
        break;
    }
    }
    updateStale(now);
    return out;
}

CycleActions ReadCycle::tick(TimePoint now)
{
    CycleActions out;
    const bool timedOut = now - m_sentAt >= m_settings.replyTimeout;
    switch (m_awaiting) {
    case Awaiting::parameterReply:
    case Awaiting::valueReply: {
        // Until the length is known, silence ends a reply. Once it is, a reply that
        // stops short is waited for up to the time-out: adapters hold bytes back.
        const bool silenceEnds = m_awaiting == Awaiting::parameterReply || !m_framing.length() || m_pastLength;
        if (!m_reply.empty() && (timedOut || (silenceEnds && silentFor(now)))) {
            if (m_awaiting == Awaiting::parameterReply)
                concludeParameterReply(out, now, timedOut);
            else
                concludeValueReply(out, now, timedOut);
        } else if (timedOut) {
            ++m_counters.timeouts;
            giveUp(out, StaleReason::noAnswer, now, true);
        }
        break;
    }
    case Awaiting::quiet:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (m_quiet.over(now, m_lastByteAt, m_settings.byteGap, m_settings.replyTimeout))
            leaveQuiet(out, now);
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
        if (!m_reply.empty()
            && (m_awaiting == Awaiting::parameterReply || !m_framing.length() || m_pastLength))
            consider(m_lastByteAt + m_settings.byteGap);
        break;
    case Awaiting::quiet:
        consider(m_quiet.due(m_lastByteAt, m_settings.byteGap, m_settings.replyTimeout));
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
    s.repliesLate = bolReading && m_lateInRow >= 2;
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
    m_pastLength = false;
    m_tail.reset();
    m_echoMatched = 0;
    m_lastCommand = command;
    m_awaiting = awaiting;
    m_sentAt = now;
    ++m_counters.commandsSent;
    out.send = std::move(command);
}

void ReadCycle::gatherToLength(CycleActions &out, TimePoint now)
{
    const size_t length = *m_framing.length();
    if (m_reply.size() < length)
        return;
    if (!m_pastLength) {
        m_pastLength = true;
        if (m_framing.fitsAt(std::span(m_reply).first(length)) == ReplyFraming::Fit::good) {
            take(out, now, 0, length);
            return;
        }
    }
    if (const auto skip = m_framing.findShifted(m_reply)) {
        m_counters.skippedBytes += *skip;
        take(out, now, *skip, length);
    }
    // Otherwise more may yet come (a longer reply, a reply behind stray bytes);
    // silence or the time-out ends the block.
}

void ReadCycle::concludeParameterReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const Evaluation result = EvaluateReply(m_reply, countOf(m_reply));
    switch (result.outcome) {
    case Outcome::none:
    case Outcome::short_:
        // A short answer is how the module acknowledges set-up.
        ++m_counters.shortReplies;
        break;
    case Outcome::badCheck:
        ++m_counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
        return;
    case Outcome::value:
        // Some modules answer set-up with a value. It is shown only when it has the
        // very shape of their replies: one block in 256 checks by chance.
        if (m_framing.length() == m_reply.size() && m_framing.fitsAt(m_reply) == ReplyFraming::Fit::good
            && m_framing.requiredTrailerBytes() > 0) {
            good(out, result.value, now);
            ReadData(out, now);
            return;
        }
        break;
    }
    m_setUp = true;
    m_awaiting = Awaiting::nothing;
    m_reply.clear();
    ReadData(out, now);
}

void ReadCycle::concludeValueReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const std::span<const std::uint8_t> block = m_reply;
    const Evaluation result = EvaluateReply(block, countOf(block));
    const auto length = m_framing.length();
    // Silence after it: the block is all the module sent, a vote for its length.
    const bool whole = silentFor(now) && result.outcome == Outcome::value;

    if (length && block.size() == *length && result.outcome == Outcome::value
        && m_framing.fitsAt(block) == ReplyFraming::Fit::badTrailer) {
        if (m_framing.trailerChanged(block)) {
            take(out, now, 0, *length);
            return;
        }
        ++m_counters.badTrailers;
        giveUp(out, StaleReason::badCheck, now, timedOut);
        return;
    }
    const bool taken = length ? m_framing.fitsWhole(block) : result.outcome == Outcome::value;
    if (whole)
        m_framing.observed(block.size());
    if (taken) {
        if (!length)
            m_framing.accepted(block);
        good(out, result.value, now);
        ReadData(out, now);
        return;
    }
    if (result.outcome == Outcome::short_ || (length && block.size() < *length)) {
        ++m_counters.shortReplies; // the reply stopped partway
        giveUp(out, StaleReason::noAnswer, now, timedOut);
    } else {
        ++m_counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
    }
}

void ReadCycle::take(CycleActions &out, TimePoint now, size_t offset, size_t length)
{
    const auto reply = std::span(m_reply).subspan(offset, length);
    const Evaluation result = EvaluateReply(reply, countOf(reply));
    m_framing.accepted(reply);
    // good() clears the block: measure it first.
    const size_t block = m_reply.size();
    const size_t after = block - offset - length;
    if (offset == 0 && after == 0)
        m_framing.confirmed();
    good(out, result.value, now);
    if (after == 0) {
        ReadData(out, now);
        return;
    }
    // More came right behind the reply: a longer reply than learned, or a stray
    // byte. Let it pass before the next command; if it was a longer reply, its
    // whole length is a vote.
    m_counters.discardedBytes += after;
    const std::optional<size_t> whole = offset == 0 ? std::optional(block) : std::nullopt;
    m_awaiting = Awaiting::quiet;
    m_quiet.begin(now, now, false);
    m_tail = whole;
    m_reply.clear();
}

void ReadCycle::good(CycleActions &out, std::int32_t value, TimePoint now)
{
    const Awaiting answered = m_awaiting;
    out.show = ValueText(value);
    ++m_counters.goodValues;
    if (answered == Awaiting::valueReply)
        m_counters.noteReplyTime(now - m_sentAt);
    m_setUp = true;
    m_failuresInRow = 0;
    m_lastFailure = StaleReason::none;
    m_stale = false;
    m_echoSuspected = false;
    m_lateInRow = 0;
    m_lastGoodAt = now;
    m_awaiting = Awaiting::nothing;
    m_pastLength = false;
    m_reply.clear();
}

void ReadCycle::giveUp(CycleActions &out, StaleReason reason, TimePoint now, bool timedOut)
{
    ++m_failuresInRow;
    m_lastFailure = reason;
    if (reason == StaleReason::badCheck)
        m_echoSuspected = !m_reply.empty()
            && std::equal(m_reply.begin(), m_reply.begin() + static_cast<std::ptrdiff_t>(std::min(m_reply.size(), m_lastCommand.size())),
                          m_lastCommand.begin());
    m_awaiting = Awaiting::quiet;
    // After a time-out the silence is measured from now, so a reply that comes
    // just late is seen and reported rather than taken for the next one.
    m_quiet.begin(now, timedOut ? now : m_lastByteAt, timedOut);
    m_tail.reset();
    m_reply.clear();
    m_pastLength = false;
    if (m_quiet.over(now, m_lastByteAt, m_settings.byteGap, m_settings.replyTimeout))
        leaveQuiet(out, now);
}

void ReadCycle::leaveQuiet(CycleActions &out, TimePoint now)
{
    if (m_tail && silentFor(now))
        m_framing.observed(*m_tail);
    m_tail.reset();
    m_awaiting = Awaiting::nothing;
    ReadData(out, now);
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
    // Before the whole command was repeated, the bytes held back were no echo but
    // the reply's first, which merely spell the command's start: they are the block's.
    if (echoed < bytes.size()) {
        if (m_echoMatched < m_lastCommand.size())
            m_reply.insert(m_reply.end(), m_lastCommand.begin(),
                           m_lastCommand.begin() + static_cast<std::ptrdiff_t>(m_echoMatched));
        m_echoMatched = m_lastCommand.size();
    }
    return bytes.subspan(echoed);
}

void ReadCycle::updateStale(TimePoint now)
{
    if (bolReading && !m_stale && now - m_lastGoodAt >= m_settings.replyTimeout)
        m_stale = true;
}

} // namespace kvp
