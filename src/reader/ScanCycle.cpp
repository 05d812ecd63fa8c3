#include "ScanCycle.h"

#include "protocol/Commands.h"
#include "protocol/ReplyEvaluation.h"

#include <algorithm>
#include <limits>

namespace kvp {
namespace {

// Longer than any reply with stray bytes in front: noise, not worth gathering.
constexpr std::size_t kMaxBlock = ReplyFraming::kMaxLength + ReplyFraming::kMaxSkip;

std::int16_t countOf(std::span<const std::uint8_t> block)
{
    return static_cast<std::int16_t>(std::min<std::size_t>(block.size(), std::numeric_limits<std::int16_t>::max()));
}

} // namespace

ScanCycle::ScanCycle(ScanSettings settings, ReplyFraming framing)
    : m_settings(settings), m_framing(std::move(framing))
{
    m_block.reserve(kMaxBlock);
}

ScanActions ScanCycle::start(TimePoint now)
{
    ScanActions out;
    m_cancelled = false;
    m_address = m_settings.firstAddress;
    m_done = 0;
    m_found.clear();
    m_garbled.clear();
    m_late.clear();
    m_discarded = 0;
    m_lastByteAt = now;
    if (total() <= 0) {
        finish(out);
        return out;
    }
    goQuiet(now, now, false);
    out.progress = ScanProgress{m_address, 0, total()};
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
        m_lastByteAt = now;
        if (m_quiet.lateAnswer())
            m_late.push_back(m_address - 1);
        break;
    case State::awaiting: {
        const auto bytes = withoutEcho(bytInput);
        if (bytes.empty())
            break;
        m_lastByteAt = now;
        const std::size_t take = std::min(bytes.size(), kMaxBlock - m_block.size());
        m_block.insert(m_block.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        m_discarded += bytes.size() - take;
        gatherToLength(out, now);
        if (m_state == State::awaiting && m_block.size() >= kMaxBlock) {
            m_garbled.push_back(m_address);
            addressDone(out, now, 0);
        }
        break;
    }
    }
    return out;
}

ScanActions ScanCycle::tick(TimePoint now)
{
    ScanActions out;
    switch (m_state) {
    case State::awaiting: {
        const bool timedOut = now - m_sentAt >= m_settings.answerTimeout;
        const bool ended = m_block.size() >= silenceEndsFrom() && silentFor(now);
        if (!m_block.empty() && (timedOut || ended)) {
            conclude(out, now);
        } else if (timedOut) {
            // Nobody there. The quiet is measured from now, so that an answer that
            // comes just late is seen, and kept from the next address.
            ++m_done;
            ++m_address;
            goQuiet(now, now, true);
        }
        break;
    }
    case State::quiet:
        // A flood never falls silent; the time-out bounds the wait all the same.
        if (m_quiet.over(now, m_lastByteAt, m_settings.byteGap, m_settings.answerTimeout))
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
        TimePoint next = m_sentAt + m_settings.answerTimeout;
        if (!m_block.empty() && m_block.size() >= silenceEndsFrom())
            next = std::min(next, m_lastByteAt + m_settings.byteGap);
        return next;
    }
    case State::quiet:
        return m_quiet.due(m_lastByteAt, m_settings.byteGap, m_settings.answerTimeout);
    case State::idle:
    case State::done:
        break;
    }
    return std::nullopt;
}

void ScanCycle::askNext(ScanActions &out, TimePoint now)
{
    if (m_address > m_settings.lastAddress) {
        finish(out);
        return;
    }
    m_lastCommand = BuildValueQuery(std::to_string(m_address));
    m_echoMatched = 0;
    m_block.clear();
    m_pastLength = false;
    m_sentAt = now;
    m_state = State::awaiting;
    out.send = m_lastCommand;
    out.progress = ScanProgress{m_address, m_done, total()};
}

void ScanCycle::finish(ScanActions &out)
{
    m_state = State::done;
    m_block.clear();
    out.finished = true;
    out.progress = ScanProgress{std::min(m_address, m_settings.lastAddress), m_done, std::max(total(), 0)};
}

std::size_t ScanCycle::silenceEndsFrom() const
{
    // A pause inside a reply (a USB adapter's latency timer) is not its end: until
    // a reply's length has come, only the time-out ends the wait.
    if (m_pastLength)
        return 1;
    if (const auto length = m_framing.length())
        return *length;
    return kReplyLength;
}

void ScanCycle::gatherToLength(ScanActions &out, TimePoint now)
{
    const auto length = m_framing.length();
    if (!length || m_block.size() < *length)
        return;
    if (!m_pastLength) {
        m_pastLength = true;
        if (m_framing.fitsAt(std::span(m_block).first(*length)) == ReplyFraming::Fit::good) {
            answered(out, now, 0, *length);
            return;
        }
    }
    if (const auto skip = m_framing.findShifted(m_block))
        answered(out, now, *skip, *length);
    // Otherwise another module's longer reply, or noise: silence ends it.
}

void ScanCycle::conclude(ScanActions &out, TimePoint now)
{
    // A module on the same line need not be the one the framing was learned from:
    // any block that checks is an answer; the framing only finds one behind stray bytes.
    const Evaluation result = EvaluateReply(m_block, countOf(m_block));
    if (result.outcome == Outcome::value) {
        answered(out, now, 0, m_block.size());
        return;
    }
    if (const auto skip = m_framing.findShifted(m_block)) {
        answered(out, now, *skip, *m_framing.length());
        return;
    }
    if (result.outcome == Outcome::badCheck)
        m_garbled.push_back(m_address);
    m_discarded += m_block.size();
    addressDone(out, now, m_block.size());
}

void ScanCycle::answered(ScanActions &out, TimePoint now, std::size_t offset, std::size_t length)
{
    const auto reply = std::span(m_block).subspan(offset, length);
    const Evaluation result = EvaluateReply(reply, countOf(reply));
    const ScanAnswer answer{m_address, result.value};
    m_found.push_back(answer);
    out.found = answer;
    addressDone(out, now, offset + length);
}

void ScanCycle::addressDone(ScanActions &out, TimePoint now, std::size_t used)
{
    m_discarded += m_block.size() - std::min(used, m_block.size());
    const bool more = used < m_block.size();
    const bool whole = !more && (used == m_framing.length() || silentFor(now));
    m_block.clear();
    ++m_done;
    ++m_address;
    // An answer that ended exactly, or on silence, leaves a quiet line: ask on at once.
    if (whole) {
        askNext(out, now);
        return;
    }
    goQuiet(now, m_lastByteAt, false);
}

void ScanCycle::goQuiet(TimePoint now, TimePoint from, bool afterTimeout)
{
    m_state = State::quiet;
    m_quiet.begin(now, from, afterTimeout);
}

std::span<const std::uint8_t> ScanCycle::withoutEcho(std::span<const std::uint8_t> bytes)
{
    if (!m_settings.dropEcho)
        return bytes;
    std::size_t echoed = 0;
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

} // namespace kvp
