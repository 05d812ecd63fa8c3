#include "ScanCycle.h"

#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>

namespace kvp {

ScanCycle::ScanCycle(ScanSettings settings, Framings framings)
    : m_settings(settings), m_framings(std::move(framings)), m_gatherer(settings.dropEcho)
{
}

ScanActions ScanCycle::start(TimePoint now)
{
    ScanActions out;
    m_cancelled = false;
    m_queue.clear();
    for (int a = m_settings.firstAddress; a <= m_settings.lastAddress; ++a)
        m_queue.push_back(a);
    m_firstPass = m_queue.size();
    m_next = 0;
    m_done = 0;
    m_found.clear();
    m_garbled.clear();
    m_late.clear();
    m_lossy.clear();
    m_silent.clear();
    m_askedAgain.clear();
    m_discarded = 0;
    m_silentRun.clear();
    m_suspects.clear();
    m_heard.clear();
    if (m_queue.empty()) {
        finish(out);
        return out;
    }
    m_gatherer.beginQuiet(now, now, false);
    m_state = State::quiet;
    out.progress = ScanProgress{m_queue.front(), 0, int(m_queue.size())};
    return out;
}

ScanActions ScanCycle::cancel(TimePoint)
{
    ScanActions out;
    if (!running())
        return out;
    m_cancelled = true;
    finish(out);
    return out;
}

std::vector<ScanAnswer> ScanCycle::unconfirmed() const
{
    std::vector<ScanAnswer> answers;
    for (const auto &[address, value] : m_heard)
        answers.push_back({address, value});
    return answers;
}

bool ScanCycle::everyAddressAnswered() const
{
    return m_state == State::done && !m_cancelled && m_firstPass > 1 && m_found.size() == m_firstPass;
}

const ReplyFraming &ScanCycle::framing() const
{
    static const ReplyFraming nothingLearned;
    const auto it = m_framings.find(address());
    return it == m_framings.end() ? nothingLearned : it->second;
}

bool ScanCycle::askedAgainForSilence() const
{
    return secondPass() && std::find(m_askedAgain.begin(), m_askedAgain.end(), address()) != m_askedAgain.end();
}

milliseconds ScanCycle::timeout() const
{
    return secondPass() && !askedAgainForSilence() ? m_settings.retryTimeout : m_settings.answerTimeout;
}

ScanActions ScanCycle::ShowData(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth, TimePoint now)
{
    ScanActions out;
    if (intInputLenth < 0 || bytInput.empty())
        return out;
    switch (m_state) {
    case State::idle:
    case State::done:
        m_discarded += bytInput.size();
        break;
    case State::quiet:
        m_discarded += bytInput.size();
        if (m_gatherer.noise(bytInput.size(), now))
            suspect(Suspicion::late);
        break;
    case State::awaiting:
        m_discarded += m_gatherer.add(bytInput, now);
        gatherToLength(out, now);
        if (m_state == State::awaiting && m_gatherer.full()) {
            suspect(Suspicion::garbled);
            addressDone(out, now, 0);
        }
        break;
    }
    return out;
}

ScanActions ScanCycle::tick(TimePoint now)
{
    ScanActions out;
    switch (m_state) {
    case State::awaiting: {
        const bool timedOut = now - m_gatherer.sentAt() >= timeout();
        const auto block = m_gatherer.block();
        const bool ended = block.size() >= silenceEndsFrom() && silentFor(now);
        if (!block.empty() && (timedOut || ended)) {
            conclude(out, now);
        } else if (timedOut) {
            this->timedOut(now);
        }
        break;
    }
    case State::quiet:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (m_gatherer.quietOver(now, m_settings.byteGap, m_settings.answerTimeout))
            askNext(out, now);
        break;
    case State::idle:
    case State::done:
        break;
    }
    return out;
}

std::optional<TimePoint> ScanCycle::deadline() const
{
    switch (m_state) {
    case State::awaiting: {
        TimePoint next = m_gatherer.sentAt() + timeout();
        if (!m_gatherer.block().empty() && m_gatherer.block().size() >= silenceEndsFrom())
            next = std::min(next, m_gatherer.lastByteAt() + m_settings.byteGap);
        return next;
    }
    case State::quiet:
        return m_gatherer.quietDue(m_settings.byteGap, m_settings.answerTimeout);
    case State::idle:
    case State::done:
        break;
    }
    return std::nullopt;
}

void ScanCycle::suspect(Suspicion why)
{
    const int a = address();
    if (quickPass()) {
        auto &before = m_suspects[a];
        for (const int b : m_silentRun)
            if (b != a && std::find(before.begin(), before.end(), b) == before.end())
                before.push_back(b);
        return;
    }
    if (why == Suspicion::unconfirmed)
        return;
    std::vector<int> &list = why == Suspicion::late ? m_late : m_garbled;
    if (std::find(list.begin(), list.end(), a) == list.end())
        list.push_back(a);
}

void ScanCycle::timedOut(TimePoint now)
{
    // Nobody there. The quiet is measured from now, so that an answer that comes
    // just late is seen, and kept from the next address; in the second pass the
    // line is watched as long again, so that a slow answer is put to its address.
    ++m_done;
    const int a = address();
    if (!secondPass())
        m_silent.push_back(a);
    if (quickPass()) {
        m_silentRun.push_back(a);
        // A late answer reaches no further back than the retry time-out.
        const auto step = m_settings.answerTimeout + m_settings.byteGap;
        const auto reach = static_cast<std::size_t>(m_settings.retryTimeout / step + 1);
        if (m_silentRun.size() > reach)
            m_silentRun.erase(m_silentRun.begin());
    } else if (const auto it = m_suspects.find(a); it != m_suspects.end()) {
        // Silent when asked again: what was heard at it came from one asked before.
        for (const int b : it->second) {
            if (std::find(m_queue.begin() + std::ptrdiff_t(m_firstPass), m_queue.end(), b) == m_queue.end())
                m_queue.push_back(b);
            else // queued for its silence, it is given the time of a slow module now
                std::erase(m_askedAgain, b);
        }
        m_suspects.erase(it);
        m_heard.erase(a);
        // Or a module that lost this answer, as it may have lost the first: asked once
        // more, as briefly as the silent are, it is found and named as losing answers.
        if (m_settings.askSilentAgain && !askedAgainForSilence()) {
            m_queue.push_back(a);
            m_askedAgain.push_back(a);
        }
    }
    const bool watchLong = secondPass() && !askedAgainForSilence();
    m_gatherer.beginQuiet(now, now, true, watchLong ? m_settings.retryTimeout : milliseconds(0));
    m_state = State::quiet;
}

void ScanCycle::beginSecondPass()
{
    // A suspect never holds an address found since: answered() takes it off.
    for (const auto &[a, before] : m_suspects)
        m_queue.push_back(a);
    if (!m_settings.askSilentAgain)
        return;
    // Silent ones that nothing else brings back: a reply lost on the way, once.
    for (const int a : m_silent) {
        const bool found = std::any_of(m_found.begin(), m_found.end(), [a](const ScanAnswer &f) { return f.address == a; });
        if (!found && std::find(m_queue.begin() + std::ptrdiff_t(m_firstPass), m_queue.end(), a) == m_queue.end()) {
            m_queue.push_back(a);
            m_askedAgain.push_back(a);
        }
    }
}

void ScanCycle::askNext(ScanActions &out, TimePoint now)
{
    if (m_next == m_firstPass && m_next == m_queue.size()
        && (m_settings.retryTimeout.count() > 0 || m_settings.askSilentAgain))
        beginSecondPass();
    if (m_next >= m_queue.size()) {
        finish(out);
        return;
    }
    const int a = m_queue[m_next++];
    std::string query = BuildValueQuery(std::to_string(a));
    m_gatherer.sent(query, now);
    m_state = State::awaiting;
    out.send = std::move(query);
    out.progress = ScanProgress{a, m_done, int(m_queue.size())};
}

void ScanCycle::finish(ScanActions &out)
{
    m_state = State::done;
    m_gatherer.clear();
    out.finished = true;
    const int last = m_next > 0 ? address() : m_settings.lastAddress;
    out.progress = ScanProgress{last, m_done, int(m_queue.size())};
}

std::size_t ScanCycle::silenceEndsFrom() const
{
    // A pause inside a reply (a USB adapter's latency timer) is not its end: until
    // a reply's length has come, only the time-out ends the wait.
    if (m_gatherer.pastLength())
        return 1;
    if (const auto length = framing().length())
        return *length;
    return kReplyLength;
}

void ScanCycle::gatherToLength(ScanActions &out, TimePoint now)
{
    const ReplyFraming &learned = framing();
    if (const auto at = m_gatherer.replyAt(learned))
        answered(out, now, *at, *learned.length());
    // Otherwise a longer reply than learned, or noise: silence ends it.
}

void ScanCycle::conclude(ScanActions &out, TimePoint now)
{
    // Any block that checks is an answer (a module not read before has no framing
    // learned); the framing only finds one behind stray bytes.
    const auto block = m_gatherer.block();
    const Evaluation result = EvaluateBlock(block);
    if (result.outcome == Outcome::value) {
        answered(out, now, 0, block.size());
        return;
    }
    if (const auto skip = framing().findShifted(block)) {
        answered(out, now, *skip, *framing().length());
        return;
    }
    if (result.outcome == Outcome::badCheck)
        suspect(Suspicion::garbled);
    addressDone(out, now, 0);
}

void ScanCycle::answered(ScanActions &out, TimePoint now, std::size_t offset, std::size_t length)
{
    const auto reply = m_gatherer.block().subspan(offset, length);
    const Evaluation result = EvaluateBlock(reply);
    const ScanAnswer answer{address(), result.value};
    if (quickPass() && !m_silentRun.empty()) {
        suspect(Suspicion::unconfirmed); // maybe the silent one's late answer
        m_heard[answer.address] = answer.value;
    } else {
        m_found.push_back(answer);
        out.found = answer;
        if (askedAgainForSilence())
            m_lossy.push_back(answer.address);
        m_suspects.erase(answer.address);
        m_heard.erase(answer.address);
    }
    m_silentRun.clear();
    addressDone(out, now, offset + length);
}

void ScanCycle::addressDone(ScanActions &out, TimePoint now, std::size_t used)
{
    const std::size_t size = m_gatherer.block().size();
    m_discarded += size - std::min(used, size);
    const bool more = used < size;
    const bool whole = !more && (used == framing().length() || silentFor(now));
    ++m_done;
    // An answer that ended exactly, or on silence, leaves a quiet line: ask on at once.
    if (whole) {
        m_gatherer.clear();
        askNext(out, now);
        return;
    }
    m_gatherer.beginQuiet(now, m_gatherer.lastByteAt(), false);
    m_state = State::quiet;
}

} // namespace kvp
