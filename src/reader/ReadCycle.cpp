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

namespace kvp {
namespace {

std::int16_t countOf(std::span<const std::uint8_t> block)
{
    return static_cast<std::int16_t>(std::min<size_t>(block.size(), std::numeric_limits<std::int16_t>::max()));
}

// A late answer ends this long after its command: give the next ones half as long
// again, in whole tenths of a second.
Clock::duration grownTimeout(Clock::duration late, Clock::duration longest)
{
    using namespace std::chrono;
    const auto wanted = ceil<milliseconds>(late * 3 / 2);
    const auto rounded = milliseconds((wanted.count() + 99) / 100 * 100);
    return std::min<Clock::duration>(rounded, longest);
}

} // namespace

ReadCycle::ReadCycle(CycleSettings settings) : m_settings(settings), m_gatherer(settings.dropEcho)
{
}

void ReadCycle::setAddressText(std::string addressText)
{
    m_addressText = std::move(addressText);
}

ReadCycle::Module &ReadCycle::module()
{
    const auto [it, added] = m_modules.try_emplace(m_address);
    if (added)
        it->second.timeout = m_settings.replyTimeout;
    return it->second;
}

const ReadCycle::Module *ReadCycle::findModule() const
{
    const auto it = m_modules.find(m_address);
    return it == m_modules.end() ? nullptr : &it->second;
}

const ReplyFraming &ReadCycle::framing() const
{
    static const ReplyFraming nothingLearned;
    const Module *m = findModule();
    return m ? m->framing : nothingLearned;
}

Framings ReadCycle::framings() const
{
    Framings all;
    for (const auto &[address, m] : m_modules)
        all.emplace(address, m.framing);
    return all;
}

Clock::duration ReadCycle::replyTimeout() const
{
    const Module *m = findModule();
    return m ? m->timeout : Clock::duration(m_settings.replyTimeout);
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
        for (auto &[address, m] : m_modules)
            m.answered = false;
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
        if (m_tail)
            *m_tail += bytInput.size();
        if (m_gatherer.noise(bytInput.size(), now)) {
            ++m_counters.lateReplies;
            ++m_lateInRow;
        }
        break;
    case Awaiting::parameterReply:
    case Awaiting::valueReply:
        m_counters.discardedBytes += m_gatherer.add(bytInput, now);
        if (m_awaiting == Awaiting::valueReply)
            gatherToLength(out, now);
        if ((m_awaiting == Awaiting::valueReply || m_awaiting == Awaiting::parameterReply) && m_gatherer.full()) {
            ++m_counters.badChecks;
            giveUp(out, StaleReason::badCheck, now, false);
        }
        break;
    }
    updateStale(now);
    return out;
}

bool ReadCycle::silenceEnds() const
{
    // Until the length is known, silence ends a reply. Once it is, a reply that
    // stops short is waited for up to the time-out: adapters hold bytes back.
    return m_awaiting == Awaiting::parameterReply || !framing().length() || m_gatherer.pastLength();
}

TimePoint ReadCycle::answerDue() const
{
    const TimePoint timeout = m_gatherer.sentAt() + replyTimeout();
    if (m_gatherer.block().empty())
        return timeout;
    return std::max(timeout, std::min(m_gatherer.lastByteAt() + m_settings.byteGap, timeout + m_settings.byteGap));
}

CycleActions ReadCycle::tick(TimePoint now)
{
    CycleActions out;
    switch (m_awaiting) {
    case Awaiting::parameterReply:
    case Awaiting::valueReply: {
        const bool timedOut = now - m_gatherer.sentAt() >= replyTimeout();
        if (!m_gatherer.block().empty()) {
            if (now >= answerDue() || (silenceEnds() && silentFor(now))) {
                if (m_awaiting == Awaiting::parameterReply)
                    concludeParameterReply(out, now, timedOut);
                else
                    concludeValueReply(out, now, timedOut);
            }
        } else if (timedOut) {
            ++m_counters.timeouts;
            giveUp(out, StaleReason::noAnswer, now, true);
        }
        break;
    }
    case Awaiting::quiet:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (m_gatherer.quietOver(now, m_settings.byteGap, replyTimeout()))
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
        consider(answerDue());
        if (!m_gatherer.block().empty() && silenceEnds())
            consider(m_gatherer.lastByteAt() + m_settings.byteGap);
        break;
    case Awaiting::quiet:
        consider(m_gatherer.quietDue(m_settings.byteGap, replyTimeout()));
        break;
    case Awaiting::nothing:
        break;
    }
    if (bolReading && !m_stale)
        consider(m_lastGoodAt + replyTimeout());
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
    module(); // from now on the address has a time-out of its own
    m_gatherer.sent(command, now);
    m_tail.reset();
    m_awaiting = awaiting;
    ++m_counters.commandsSent;
    out.send = std::move(command);
}

void ReadCycle::gatherToLength(CycleActions &out, TimePoint now)
{
    if (const auto at = m_gatherer.replyAt(framing())) {
        m_counters.skippedBytes += *at;
        take(out, now, *at, *framing().length());
    }
}

void ReadCycle::concludeParameterReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const auto block = m_gatherer.block();
    const Evaluation result = EvaluateReply(block, countOf(block));
    const ReplyFraming &learned = framing();
    switch (result.outcome) {
    case Outcome::none:
    case Outcome::short_:
        // A short answer is how the module acknowledges set-up: no fault.
        break;
    case Outcome::badCheck:
        ++m_counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
        return;
    case Outcome::value:
        // Some modules answer set-up with a value. It is shown only when it has the
        // very shape of their replies: one block in 256 checks by chance.
        if (learned.length() == block.size() && learned.fitsAt(block) == ReplyFraming::Fit::good
            && learned.requiredTrailerBytes() > 0) {
            good(out, result.value, now);
            ReadData(out, now);
            return;
        }
        break;
    }
    m_setUp = true;
    m_awaiting = Awaiting::nothing;
    m_gatherer.clear();
    ReadData(out, now);
}

void ReadCycle::concludeValueReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const auto block = m_gatherer.block();
    ReplyFraming &learned = module().framing;
    const Evaluation result = EvaluateReply(block, countOf(block));
    const auto length = learned.length();
    // Silence after it: the block is all the module sent, a vote for its length.
    const bool whole = silentFor(now) && result.outcome == Outcome::value;

    if (length && block.size() == *length && result.outcome == Outcome::value
        && learned.fitsAt(block) == ReplyFraming::Fit::badTrailer) {
        if (learned.trailerChanged(block)) {
            take(out, now, 0, *length);
            return;
        }
        ++m_counters.badTrailers;
        giveUp(out, StaleReason::badTrailer, now, timedOut);
        return;
    }
    const bool taken = length ? learned.fitsWhole(block) : result.outcome == Outcome::value;
    if (whole)
        learned.observed(block.size());
    if (taken) {
        if (!length)
            learned.accepted(block);
        good(out, result.value, now);
        ReadData(out, now);
        return;
    }
    if (result.outcome == Outcome::short_ || (length && block.size() < *length)) {
        ++m_counters.shortReplies; // the reply stopped partway
        giveUp(out, StaleReason::noAnswer, now, timedOut);
    } else if (result.outcome == Outcome::value) {
        // It checks, but is not yet believed: another length than learned.
        ++m_counters.badTrailers;
        giveUp(out, StaleReason::badTrailer, now, timedOut);
    } else {
        ++m_counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
    }
}

void ReadCycle::take(CycleActions &out, TimePoint now, size_t offset, size_t length)
{
    const auto reply = m_gatherer.block().subspan(offset, length);
    const Evaluation result = EvaluateReply(reply, countOf(reply));
    ReplyFraming &learned = module().framing;
    learned.accepted(reply);
    // good() clears the block: measure it first.
    const size_t block = m_gatherer.block().size();
    const size_t after = block - offset - length;
    if (offset == 0 && after == 0)
        learned.confirmed();
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
    m_gatherer.beginQuiet(now, now, false);
    m_tail = whole;
}

void ReadCycle::good(CycleActions &out, std::int32_t value, TimePoint now)
{
    const Awaiting answered = m_awaiting;
    out.show = ValueText(value);
    ++m_counters.goodValues;
    if (answered == Awaiting::valueReply)
        m_counters.noteReplyTime(now - m_gatherer.sentAt());
    module().answered = true;
    m_setUp = true;
    m_failuresInRow = 0;
    m_lastFailure = StaleReason::none;
    m_stale = false;
    m_echoSuspected = false;
    m_lateInRow = 0;
    m_lastGoodAt = now;
    m_awaiting = Awaiting::nothing;
    m_gatherer.clear();
}

void ReadCycle::giveUp(CycleActions &out, StaleReason reason, TimePoint now, bool timedOut)
{
    const bool timedOutBefore = m_failuresInRow > 0 && m_lastFailure == StaleReason::noAnswer;
    ++m_failuresInRow;
    m_lastFailure = reason;
    if (reason == StaleReason::badCheck)
        m_echoSuspected = m_gatherer.startsWithCommand();
    m_awaiting = Awaiting::quiet;
    // After a time-out with nothing heard, the answer may merely be late: until the
    // module has answered in time, and when it times out again, the line is watched
    // a time-out long, so that a late answer is seen as such (and the time-out can
    // grow to cover it) rather than taken for the answer to the next command.
    const bool nothingHeard = timedOut && m_gatherer.block().empty();
    const Clock::duration watch
        = nothingHeard && (!module().answered || timedOutBefore) ? replyTimeout() : Clock::duration{};
    // After a time-out the silence is measured from now, so a reply that comes
    // just late is seen and reported rather than taken for the next one.
    m_gatherer.beginQuiet(now, timedOut ? now : m_gatherer.lastByteAt(), timedOut, watch);
    m_tail.reset();
    if (m_gatherer.quietOver(now, m_settings.byteGap, replyTimeout()))
        leaveQuiet(out, now);
}

void ReadCycle::leaveQuiet(CycleActions &out, TimePoint now)
{
    if (m_tail && silentFor(now))
        module().framing.observed(*m_tail);
    m_tail.reset();
    learnFromLateAnswer(out);
    m_awaiting = Awaiting::nothing;
    ReadData(out, now);
}

void ReadCycle::learnFromLateAnswer(CycleActions &out)
{
    if (!m_gatherer.lateAnswerSeen() || !m_settings.adaptTimeout)
        return;
    Module &m = module();
    const Clock::duration late = m_gatherer.lastByteAt() - m_gatherer.sentAt();
    const Clock::duration grown = grownTimeout(late, m_settings.longestTimeout);
    if (grown <= m.timeout)
        return;
    m.timeout = grown;
    if (!m.timeoutGrown)
        out.timeoutGrown = std::chrono::duration_cast<milliseconds>(grown);
    m.timeoutGrown = true;
}

void ReadCycle::updateStale(TimePoint now)
{
    if (bolReading && !m_stale && now - m_lastGoodAt >= replyTimeout())
        m_stale = true;
}

} // namespace kvp
