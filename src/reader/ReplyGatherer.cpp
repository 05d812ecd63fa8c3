#include "ReplyGatherer.h"

#include <algorithm>

namespace kvp {

ReplyGatherer::ReplyGatherer(bool dropEcho) : m_dropEcho(dropEcho)
{
    m_block.reserve(kMaxBlock);
}

void ReplyGatherer::sent(std::string command, TimePoint now, int to, Clock::duration soonest, std::size_t toAnswering,
                         Clock::duration toQuickest)
{
    m_command = std::move(command);
    m_echoMatched = 0;
    m_repeat.clear();
    m_repeatMatched = 0;
    m_askedAgain = to >= 0 && to == m_lastReplyFrom;
    m_copyFrom = to >= 0 ? m_lastReplyFrom : -1;
    m_to = to;
    // A module's own earlier reply is also what it may well answer again, the value
    // being steady: its copy is a repeat only when it comes too soon to be an answer.
    // So is another's, to a module that answers in replies as long: the two may read
    // the same. Any other copy of another's reply is its repeat, whenever it comes.
    const bool other = m_copyFrom >= 0 && !m_askedAgain;
    m_holdCopy = other && toAnswering == m_lastReply.size();
    m_copyInBlock = false;
    if (m_copyFrom >= 0 && (soonest > Clock::duration{} || other)) {
        m_repeat = m_lastReply;
        m_repeatUntil = !other ? now + soonest : !m_holdCopy ? TimePoint::max() : now + std::max(soonest, toQuickest);
    }
    m_lastReplyFrom = -1;
    m_sentAt = now;
    clear();
}

void ReplyGatherer::clear()
{
    m_block.clear();
    m_copyInBlock = false;
    m_pastLength = false;
}

void ReplyGatherer::answered(std::span<const std::uint8_t> reply, int from)
{
    // A copy right behind the reply taken, in the same block: the module repeats itself.
    const auto behind = m_block.size() >= 2 * reply.size() && reply.data() >= m_block.data()
        ? std::span(m_block).subspan(std::size_t(reply.data() - m_block.data()) + reply.size())
        : std::span<const std::uint8_t>();
    if (!reply.empty() && behind.size() >= reply.size() && std::equal(reply.begin(), reply.end(), behind.begin()))
        sawRepeat(from);
    m_lastReply.assign(reply.begin(), reply.end());
    m_lastReplyFrom = from;
}

bool ReplyGatherer::repeater(int from) const
{
    return from >= 0 && from < int(m_repeaters.size()) && m_repeaters[std::size_t(from)];
}

void ReplyGatherer::sawRepeat(int from)
{
    if (from >= 0 && from < int(m_repeaters.size()))
        m_repeaters.set(std::size_t(from));
}

std::size_t ReplyGatherer::add(std::span<const std::uint8_t> bytes, TimePoint now)
{
    std::size_t dropped = 0;
    if (m_copyInBlock && !bytes.empty()) {
        // More behind another module's copy: it was that module repeating itself.
        m_copyInBlock = false;
        dropped += m_block.size();
        m_block.clear();
        m_pastLength = false;
        sawRepeat(m_copyFrom);
    }
    const std::size_t before = m_block.size();
    // The repeat was on the line before the command, so before its echo too.
    bytes = withoutEcho(withoutRepeat(bytes, dropped, now));
    if (bytes.empty() && m_block.size() == before)
        return dropped;
    m_lastByteAt = now;
    const std::size_t take = std::min(bytes.size(), kMaxBlock - m_block.size());
    m_block.insert(m_block.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    return dropped + bytes.size() - take;
}

std::span<const std::uint8_t> ReplyGatherer::withoutRepeat(std::span<const std::uint8_t> bytes, std::size_t &dropped,
                                                          TimePoint now)
{
    if (m_repeat.empty())
        return bytes;
    std::size_t same = 0;
    while (same < bytes.size() && m_repeatMatched < m_repeat.size() && bytes[same] == m_repeat[m_repeatMatched]) {
        ++same;
        ++m_repeatMatched;
    }
    const bool whole = m_repeatMatched == m_repeat.size();
    if (whole && now < m_repeatUntil) {
        dropped += m_repeat.size();
    } else if (whole && m_holdCopy && same < bytes.size()) {
        dropped += m_repeat.size(); // more right behind it: a repeat
        sawRepeat(m_copyFrom);
    } else if (!whole && same == bytes.size()) {
        return {}; // a copy so far: held back until it is whole or is not
    } else if (m_repeatMatched > 0) {
        // No repeat, or not yet known: the bytes held back are the block's first.
        m_block.insert(m_block.end(), m_repeat.begin(), m_repeat.begin() + static_cast<std::ptrdiff_t>(m_repeatMatched));
        m_copyInBlock = whole && m_holdCopy;
    }
    m_repeat.clear();
    m_repeatMatched = 0;
    return bytes.subspan(same);
}

std::optional<std::size_t> ReplyGatherer::replyAt(const ReplyFraming &framing)
{
    const auto length = framing.length();
    if (!length || m_block.size() < *length)
        return std::nullopt;
    // The module's last reply again with a whole reply right behind it: a repeat an
    // adapter held back, that came with the answer. From a module seen to repeat
    // itself, such a copy alone is held until what follows shows what it is: the
    // answer behind it, or silence (it was the answer, the value being steady). So is
    // another module's copy: the two may read the same (see add()).
    const auto first = std::span(m_block).first(*length);
    const bool copyFirst = m_askedAgain && std::equal(first.begin(), first.end(), m_lastReply.begin(), m_lastReply.end());
    if (copyFirst && m_block.size() >= 2 * *length
        && framing.fitsAt(std::span(m_block).subspan(*length, *length)) == ReplyFraming::Fit::good) {
        m_pastLength = true;
        return *length;
    }
    if (!m_pastLength && (m_copyInBlock || (copyFirst && repeater(m_to)))) {
        m_pastLength = true;
        return std::nullopt;
    }
    if (!m_pastLength) {
        m_pastLength = true;
        if (framing.fitsAt(std::span(m_block).first(*length)) == ReplyFraming::Fit::good)
            return 0;
    }
    // Otherwise more may yet come (a longer reply, a reply behind stray bytes);
    // silence or the time-out ends the block.
    return framing.findShifted(m_block);
}

bool ReplyGatherer::startsWithCommand() const
{
    const std::size_t n = std::min(m_block.size(), m_command.size());
    return n > 0 && std::equal(m_block.begin(), m_block.begin() + static_cast<std::ptrdiff_t>(n), m_command.begin());
}

void ReplyGatherer::beginQuiet(TimePoint now, TimePoint silentFrom, bool afterTimeout, Clock::duration watch)
{
    clear();
    m_quiet.begin(now, silentFrom, afterTimeout, watch);
}

bool ReplyGatherer::noise(std::size_t count, TimePoint now)
{
    if (count == 0)
        return false;
    m_lastByteAt = now;
    return m_quiet.lateAnswer();
}

TimePoint ReplyGatherer::quietDue(Clock::duration gap, Clock::duration bound) const
{
    return m_quiet.due(m_lastByteAt, gap, bound);
}

bool ReplyGatherer::quietOver(TimePoint now, Clock::duration gap, Clock::duration bound) const
{
    return m_quiet.over(now, m_lastByteAt, gap, bound);
}

std::span<const std::uint8_t> ReplyGatherer::withoutEcho(std::span<const std::uint8_t> bytes)
{
    if (!m_dropEcho)
        return bytes;
    std::size_t echoed = 0;
    while (echoed < bytes.size() && m_echoMatched < m_command.size()
           && bytes[echoed] == static_cast<std::uint8_t>(m_command[m_echoMatched])) {
        ++echoed;
        ++m_echoMatched;
    }
    // The first byte that does not repeat the command ends the echo, heard or not.
    // Before the whole command was repeated, the bytes held back were no echo but
    // the reply's first, which merely spell the command's start: they are the block's.
    if (echoed < bytes.size()) {
        if (m_echoMatched < m_command.size())
            m_block.insert(m_block.end(), m_command.begin(),
                           m_command.begin() + static_cast<std::ptrdiff_t>(m_echoMatched));
        m_echoMatched = m_command.size();
    }
    return bytes.subspan(echoed);
}

} // namespace kvp
