#include "ScanCycle.h"

#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>
#include <limits>

namespace kvp {
namespace {

std::int16_t countOf(std::span<const std::uint8_t> block)
{
    return static_cast<std::int16_t>(std::min<std::size_t>(block.size(), std::numeric_limits<std::int16_t>::max()));
}

} // namespace

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
    m_retried.clear();
    m_discarded = 0;
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

milliseconds ScanCycle::timeout() const
{
    return m_next > m_firstPass ? m_settings.retryTimeout : m_settings.answerTimeout;
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
            note(m_late);
        break;
    case State::awaiting:
        m_discarded += m_gatherer.add(bytInput, now);
        gatherToLength(out, now);
        if (m_state == State::awaiting && m_gatherer.full()) {
            note(m_garbled);
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
            // Nobody there. The quiet is measured from now, so that an answer that
            // comes just late is seen, and kept from the next address.
            ++m_done;
            m_gatherer.beginQuiet(now, now, true);
            m_state = State::quiet;
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

void ScanCycle::note(std::vector<int> &list)
{
    if (m_next == 0)
        return;
    if (std::find(list.begin(), list.end(), address()) == list.end())
        list.push_back(address());
}

void ScanCycle::askNext(ScanActions &out, TimePoint now)
{
    if (m_next == m_firstPass && m_next == m_queue.size() && m_settings.retryTimeout.count() > 0) {
        // The quick pass is over. Ask once more, and longer, whatever answered late or
        // garbled: a slow module, or one that a burst of noise hid.
        std::vector<int> again = m_late;
        again.insert(again.end(), m_garbled.begin(), m_garbled.end());
        std::sort(again.begin(), again.end());
        again.erase(std::unique(again.begin(), again.end()), again.end());
        std::erase_if(again, [this](int a) {
            return std::any_of(m_found.begin(), m_found.end(), [a](const ScanAnswer &f) { return f.address == a; });
        });
        m_retried = again;
        m_late.clear();
        m_garbled.clear();
        m_queue.insert(m_queue.end(), again.begin(), again.end());
    }
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
    // Asked again and silent this time: it did answer, late, the first time.
    for (const int a : m_retried) {
        const auto in = [a](const auto &list) { return std::find(list.begin(), list.end(), a) != list.end(); };
        if (!in(m_garbled) && !in(m_late)
            && std::none_of(m_found.begin(), m_found.end(), [a](const ScanAnswer &f) { return f.address == a; }))
            m_late.push_back(a);
    }
    m_retried.clear();
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
    const Evaluation result = EvaluateReply(block, countOf(block));
    if (result.outcome == Outcome::value) {
        answered(out, now, 0, block.size());
        return;
    }
    if (const auto skip = framing().findShifted(block)) {
        answered(out, now, *skip, *framing().length());
        return;
    }
    if (result.outcome == Outcome::badCheck)
        note(m_garbled);
    addressDone(out, now, 0);
}

void ScanCycle::answered(ScanActions &out, TimePoint now, std::size_t offset, std::size_t length)
{
    const auto reply = m_gatherer.block().subspan(offset, length);
    const Evaluation result = EvaluateReply(reply, countOf(reply));
    const ScanAnswer answer{address(), result.value};
    m_found.push_back(answer);
    out.found = answer;
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
