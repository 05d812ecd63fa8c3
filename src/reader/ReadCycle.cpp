#include "ReadCycle.h"

#include "protocol/Address.h"
#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>

namespace kvp {
ReadCycle::ReadCycle(CycleSettings settings)
    : m_settings(settings), m_roster(settings), m_gatherer(settings.dropEcho)
{
}

bool ReadCycle::setAddressText(std::string addressText)
{
    m_addressText = std::move(addressText);
    // A module typed in while the last one waits out the poll interval is set up and
    // read at once, not an interval later.
    const auto wanted = validAddress(m_addressText);
    if (!bolReading || m_roster.busGiven() || !wanted || *wanted == m_roster.first() || m_nextQueryAt == TimePoint{})
        return false;
    m_nextQueryAt = {};
    return true;
}

void ReadCycle::setAddresses(std::vector<int> addresses)
{
    m_roster.setBus(std::move(addresses), m_addressText);
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
    if (!m_roster.busGiven() && !validAddress(m_addressText)) {
        out.invalidAddress = true;
        return out;
    }
    // Read while reading starts over: there is never a second chain of queries.
    bolReading = true;
    m_everRead = true;
    m_roster.followAddressBox(m_addressText);
    if (newRun)
        m_strayBytes = 0;
    m_roster.start(now, newRun);
    m_awaiting = Awaiting::nothing;
    m_nextQueryAt = {}; // Read is asked for now, whatever the poll interval
    ReadData(out, now);
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
        m_strayBytes += bytInput.size();
        break;
    case Awaiting::quiet: {
        asked().counters.discardedBytes += bytInput.size();
        if (m_tail)
            *m_tail += bytInput.size();
        if (m_gatherer.noise(bytInput.size(), now) && m_roster.heardLate(asked(), m_askedTimeout)) {
            out.answersAgain = true;
            out.address = m_asked;
        }
        break;
    }
    case Awaiting::parameterReply:
    case Awaiting::valueReply:
        asked().counters.discardedBytes += m_gatherer.add(bytInput, now);
        if (m_awaiting == Awaiting::valueReply)
            gatherToLength(out, now);
        if ((m_awaiting == Awaiting::valueReply || m_awaiting == Awaiting::parameterReply) && m_gatherer.full()) {
            ++asked().counters.badChecks;
            giveUp(out, StaleReason::badCheck, now, false);
        }
        break;
    }
    m_roster.updateStale(now, bolReading);
    return out;
}

bool ReadCycle::silenceEnds() const
{
    // Until the length is known, silence ends a reply. Once it is, a reply that
    // stops short is waited for up to the time-out: adapters hold bytes back.
    const ModuleState *m = m_roster.find(m_asked);
    return m_awaiting == Awaiting::parameterReply || !m || !m->framing.length() || m_gatherer.pastLength();
}

TimePoint ReadCycle::answerDue() const
{
    const TimePoint timeout = m_gatherer.sentAt() + askedTimeout();
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
        const bool timedOut = now - m_gatherer.sentAt() >= askedTimeout();
        if (!m_gatherer.block().empty()) {
            if (now >= answerDue() || (silenceEnds() && silentFor(now))) {
                if (m_awaiting == Awaiting::parameterReply)
                    concludeParameterReply(out, now, timedOut);
                else
                    concludeValueReply(out, now, timedOut);
            }
        } else if (timedOut) {
            ++asked().counters.timeouts;
            giveUp(out, StaleReason::noAnswer, now, true);
        }
        break;
    }
    case Awaiting::quiet:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (m_gatherer.quietOver(now, m_settings.byteGap, askedTimeout()))
            leaveQuiet(out, now);
        break;
    case Awaiting::nothing:
        // A module backing off may have come due.
        if (bolReading)
            ReadData(out, now);
        break;
    }
    m_roster.updateStale(now, bolReading);
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
        consider(m_gatherer.quietDue(m_settings.byteGap, askedTimeout()));
        break;
    case Awaiting::nothing:
        // Some module always has its turn: only the poll interval keeps it waiting.
        if (bolReading)
            consider(m_nextQueryAt);
        break;
    }
    if (const auto stale = m_roster.nextStaleAt(); bolReading && stale)
        consider(*stale);
    return next;
}

void ReadCycle::SetParam(CycleActions &out, TimePoint now)
{
    ModuleState &m = asked();
    m.setUp = false;
    m.failuresInRow = 0;
    sendCommand(out, BuildParameterCommand(std::to_string(m.address)), Awaiting::parameterReply, now);
}

void ReadCycle::ReadData(CycleActions &out, TimePoint now, std::optional<int> setUpNow)
{
    m_awaiting = Awaiting::nothing;
    if (!bolReading)
        return;
    m_roster.followAddressBox(m_addressText);
    ModuleState *m = m_roster.nextTurn(out.setAside, now, setUpNow, now >= m_nextQueryAt);
    if (!m)
        return; // its turn is still to come: tick() asks it when the interval is over
    m_asked = m->address;
    m_nextQueryAt = now + m_settings.pollInterval;
    // A module is always set up before it is queried: the first time, after it
    // failed to take the parameter command, and after a run of failed replies (it
    // may have been restarted).
    if (needsSetUp(*m)) {
        SetParam(out, now);
        return;
    }
    sendCommand(out, BuildValueQuery(std::to_string(m->address)), Awaiting::valueReply, now);
}

void ReadCycle::sendCommand(CycleActions &out, std::string command, Awaiting awaiting, TimePoint now)
{
    ModuleState &m = asked();
    m_askedTimeout = m_roster.timeoutFor(m);
    // Once it has answered, another's copy as long as its replies may be its answer.
    const std::size_t length = awaiting == Awaiting::valueReply && m.answered ? m.framing.lengthSoFar() : 0;
    m_gatherer.sent(command, now, m.address, m.ownCopyWindow(command.size()), length, m.quickest(m_settings.byteGap));
    m_tail.reset();
    m_awaiting = awaiting;
    ++m.counters.commandsSent;
    out.send = std::move(command);
}

void ReadCycle::gatherToLength(CycleActions &out, TimePoint now)
{
    const ReplyFraming &learned = asked().framing;
    if (const auto at = m_gatherer.replyAt(learned)) {
        asked().counters.skippedBytes += *at;
        take(out, now, *at, *learned.length());
    }
}

void ReadCycle::concludeParameterReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const auto block = m_gatherer.block();
    const Evaluation result = EvaluateBlock(block);
    ModuleState &m = asked();
    const ReplyFraming &learned = m.framing;
    switch (result.outcome) {
    case Outcome::none:
    case Outcome::short_:
        // A short answer is how the module acknowledges set-up: no fault.
        break;
    case Outcome::badCheck:
        ++m.counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
        return;
    case Outcome::value:
        // Some modules answer set-up with a value. It is shown only when it has the
        // very shape of their replies: one block in 256 checks by chance.
        if (learned.length() == block.size() && learned.fitsAt(block) == ReplyFraming::Fit::good
            && learned.requiredTrailerBytes() > 0) {
            good(out, result.value, now); // its value is this turn's: the next waits its turn
            ReadData(out, now);
            return;
        }
        break;
    }
    // An acknowledgement is no value: a module that takes set-up but never answers a
    // query backs off all the same. Its first query goes at once, whatever the poll
    // interval: set-up and query are one turn.
    m.setUp = true;
    m_gatherer.clear();
    ReadData(out, now, m.address);
}

void ReadCycle::concludeValueReply(CycleActions &out, TimePoint now, bool timedOut)
{
    const auto block = m_gatherer.block();
    if (m_gatherer.anothersCopyAlone()) {
        // Another's copy, then silence: this one's answer (the two read the same), or the
        // other's repeat while this one said nothing. Asked again, what answers is its own.
        asked().counters.discardedBytes += block.size();
        return sendCommand(out, m_gatherer.command(), Awaiting::valueReply, now);
    }
    ModuleState &m = asked();
    ReplyFraming &learned = m.framing;
    const Evaluation result = EvaluateBlock(block);
    const auto length = learned.length();
    // Silence after it: the block is all the module sent, a vote for its length.
    const bool whole = silentFor(now) && result.outcome == Outcome::value;

    if (length && block.size() == *length && result.outcome == Outcome::value
        && learned.fitsAt(block) == ReplyFraming::Fit::badTrailer) {
        if (learned.trailerChanged(block)) {
            take(out, now, 0, *length);
            return;
        }
        ++m.counters.badTrailers;
        giveUp(out, StaleReason::badTrailer, now, timedOut);
        return;
    }
    // Held back as a repeat, and no answer came behind it: it was the answer.
    if (length && block.size() == *length && learned.fitsAt(block) == ReplyFraming::Fit::good)
        return take(out, now, 0, *length);
    const bool taken = length ? learned.fitsWhole(block) : result.outcome == Outcome::value;
    if (whole)
        learned.observed(block.size());
    if (taken) {
        if (!length)
            learned.accepted(block);
        m_gatherer.answered(block, m.address);
        good(out, result.value, now);
        ReadData(out, now);
        return;
    }
    if (result.outcome == Outcome::short_ || (length && block.size() < *length)) {
        ++m.counters.shortReplies; // the reply stopped partway
        giveUp(out, StaleReason::cutShort, now, timedOut);
    } else if (result.outcome == Outcome::value) {
        // It checks, but is not yet believed: another length than learned.
        ++m.counters.badTrailers;
        giveUp(out, StaleReason::badTrailer, now, timedOut);
    } else {
        ++m.counters.badChecks;
        giveUp(out, StaleReason::badCheck, now, timedOut);
    }
}

void ReadCycle::take(CycleActions &out, TimePoint now, size_t offset, size_t length)
{
    const auto reply = m_gatherer.block().subspan(offset, length);
    const Evaluation result = EvaluateBlock(reply);
    ModuleState &m = asked();
    m.framing.accepted(reply);
    m_gatherer.answered(reply, m.address);
    // good() clears the block: measure it first.
    const size_t block = m_gatherer.block().size();
    const size_t after = block - offset - length;
    if (offset == 0 && after == 0)
        m.framing.confirmed();
    good(out, result.value, now);
    // On a bus a copy of this reply after the next command would be in another's turn:
    // behind a module seen to repeat itself, or stray bytes, the line falls quiet first.
    const bool guard = m_roster.onBus() && (offset > 0 || m_gatherer.repeater(m.address));
    if (after == 0 && !guard) {
        ReadData(out, now);
        return;
    }
    // More came right behind the reply: a longer reply than learned, or a stray
    // byte. Let it pass before the next command; if it was a longer reply, its
    // whole length is a vote.
    m.counters.discardedBytes += after;
    const std::optional<size_t> whole = offset == 0 && after > 0 ? std::optional(block) : std::nullopt;
    m_awaiting = Awaiting::quiet;
    m_gatherer.beginQuiet(now, now, false);
    m_tail = whole;
}

void ReadCycle::good(CycleActions &out, std::int32_t value, TimePoint now)
{
    ModuleState &m = asked();
    out.show = ValueText(value);
    out.value = value;
    out.address = m.address;
    if (m_awaiting == Awaiting::valueReply)
        m.counters.noteReplyTime(m_gatherer.lastByteAt() - m_gatherer.sentAt());
    if (m_roster.answered(m))
        out.answersAgain = true;
    m.good(now);
    m_awaiting = Awaiting::nothing;
    m_gatherer.clear();
}

void ReadCycle::giveUp(CycleActions &out, StaleReason reason, TimePoint now, bool timedOut)
{
    ModuleState &m = asked();
    const bool timedOutBefore = m.failuresInRow > 0 && m.lastFailure == StaleReason::noAnswer;
    const bool nothingHeard = timedOut && m_gatherer.block().empty();
    m.failed(reason, nothingHeard, now);
    if (reason == StaleReason::badCheck)
        m.echoSuspected = m_gatherer.startsWithCommand();
    m_awaiting = Awaiting::quiet;
    const Clock::duration watch = m_roster.gaveUp(m, nothingHeard, timedOutBefore, m_askedTimeout);
    // After a time-out the silence is measured from now, so a reply that comes
    // just late is seen and reported rather than taken for the next one.
    m_gatherer.beginQuiet(now, timedOut ? now : m_gatherer.lastByteAt(), timedOut, watch);
    m_tail.reset();
    if (m_gatherer.quietOver(now, m_settings.byteGap, askedTimeout()))
        leaveQuiet(out, now);
}

void ReadCycle::leaveQuiet(CycleActions &out, TimePoint now)
{
    if (m_tail && silentFor(now))
        asked().framing.observed(*m_tail);
    m_tail.reset();
    // An answer after its time-out: the time-out may grow to cover the next ones.
    const auto late = m_gatherer.lastByteAt() - m_gatherer.sentAt();
    const auto grown = m_gatherer.lateAnswerSeen() ? m_roster.lateAnswer(asked(), late) : std::nullopt;
    if (grown) {
        out.timeoutGrown = *grown;
        out.address = m_asked;
    }
    ReadData(out, now);
}

} // namespace kvp
