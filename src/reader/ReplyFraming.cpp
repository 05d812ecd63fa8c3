#include "ReplyFraming.h"

#include "protocol/ReplyEvaluation.h"

#include <algorithm>

namespace kvp {
namespace {

bool checks(std::span<const std::uint8_t> block)
{
    return EvaluateBlock(block).outcome == Outcome::value;
}

constexpr std::size_t kFirstTrailing = 4; // after three value bytes and the check byte

} // namespace

std::bitset<ReplyFraming::kMaxLength> ReplyFraming::requiredMask() const
{
    std::bitset<kMaxLength> mask;
    if (!m_length || m_history.size() < kTrailerVotes)
        return mask;
    const std::size_t length = *m_length;
    const auto votes = m_history.end() - static_cast<std::ptrdiff_t>(kTrailerVotes);
    if (std::any_of(votes, m_history.end(), [length](const Seen &s) { return s.length != length; }))
        return mask;
    for (std::size_t i = kFirstTrailing; i < length; ++i)
        mask[i] = !m_volatile[i] && std::all_of(votes, m_history.end(), [&](const Seen &s) {
            return s.bytes[i] == m_history.back().bytes[i];
        });
    return mask;
}

std::size_t ReplyFraming::requiredTrailerBytes() const
{
    return requiredMask().count();
}

bool ReplyFraming::trailerMatches(std::span<const std::uint8_t> block) const
{
    const auto mask = requiredMask();
    for (std::size_t i = kFirstTrailing; i < *m_length && i < block.size(); ++i)
        if (mask[i] && block[i] != m_history.back().bytes[i])
            return false;
    return true;
}

bool ReplyFraming::lineEndMatches(std::span<const std::uint8_t> block) const
{
    const std::size_t length = *m_length;
    const auto mask = requiredMask();
    for (std::size_t i = 1; i <= kLineEnd; ++i) {
        if (length < kFirstTrailing + i || !mask[length - i] || block.size() < i
            || block[block.size() - i] != m_history.back().bytes[length - i])
            return false;
    }
    return true;
}

ReplyFraming::Fit ReplyFraming::fitsAt(std::span<const std::uint8_t> block) const
{
    if (!checks(block))
        return Fit::badCheck;
    if (trailerMatches(block))
        return Fit::good;
    // A byte that stayed the same while the reply was learned may be a status byte
    // that has only now begun to change. With the line end in place the reply is
    // whole and in its place; accepted() then no longer requires that byte.
    return lineEndMatches(block) ? Fit::good : Fit::badTrailer;
}

std::optional<std::size_t> ReplyFraming::findShifted(std::span<const std::uint8_t> block) const
{
    if (!m_length || requiredTrailerBytes() == 0)
        return std::nullopt;
    // The plainest explanation first: a block that checks as it stands is a reply
    // (of another length, or with other trailing bytes), not a shifted one. One
    // byte in, `V1 V0 CK S` checks whenever S equals V2: a zero status byte after
    // a small value.
    if (checks(block))
        return std::nullopt;
    const std::size_t length = *m_length;
    for (std::size_t k = 1; k <= kMaxSkip && k + length <= block.size(); ++k) {
        const auto candidate = block.subspan(k, length);
        if (checks(candidate) && trailerMatches(candidate))
            return k;
    }
    return std::nullopt;
}

bool ReplyFraming::fitsWhole(std::span<const std::uint8_t> block) const
{
    if (!m_length || block.size() > kMaxLength || block.size() < kFirstTrailing + kLineEnd || !checks(block))
        return false;
    // Noise in front of a garbled reply, or the late tail of one, also ends in the
    // line end, and its first four bytes check one time in 256. A new length is
    // believed from its second block in a row, never from one alone.
    if (m_votes.empty() || m_votes.back() != block.size())
        return false;
    // A reply of the learned length at the very end, with all its fixed bytes: what
    // stands in front of it is more likely noise that checked by chance than the
    // start of a longer reply. Losing the block is the price of never showing the
    // noise; a longer reply is learned all the same, from its votes.
    const std::size_t length = *m_length;
    if (block.size() > length) {
        const auto tail = block.last(length);
        if (checks(tail) && trailerMatches(tail))
            return false;
    }
    // The line end: the last bytes of the learned reply, when they never change.
    return lineEndMatches(block);
}

ReplyFraming::Seen ReplyFraming::seen(std::span<const std::uint8_t> reply)
{
    Seen s;
    s.length = std::min(reply.size(), kMaxLength);
    std::copy_n(reply.begin(), s.length, s.bytes.begin());
    return s;
}

void ReplyFraming::accepted(std::span<const std::uint8_t> reply)
{
    const Seen s = seen(reply);
    if (!m_history.empty() && m_history.back().length == s.length) {
        for (std::size_t i = kFirstTrailing; i < s.length; ++i)
            if (s.bytes[i] != m_history.back().bytes[i])
                m_volatile[i] = true; // a status byte, not a line end
    }
    m_history.push_back(s);
    if (m_history.size() > kTrailerVotes)
        m_history.pop_front();
    m_changed.reset();
}

void ReplyFraming::observed(std::size_t length)
{
    if (length > kMaxLength)
        return;
    m_votes.push_back(length);
    if (m_votes.size() > kLengthVotes)
        m_votes.pop_front();
    if (m_votes.size() == kLengthVotes
        && std::all_of(m_votes.begin(), m_votes.end(), [length](std::size_t v) { return v == length; })
        && m_length != length)
        relearn(length);
}

void ReplyFraming::relearn(std::size_t length)
{
    m_length = length;
    m_votes.clear();
    m_volatile.reset();
    m_changed.reset();
    // Trailing bytes seen at the old length say nothing about the new one.
    std::erase_if(m_history, [length](const Seen &s) { return s.length != length; });
}

bool ReplyFraming::trailerChanged(std::span<const std::uint8_t> reply)
{
    const Seen s = seen(reply);
    const bool again = m_changed && m_changed->length == s.length
        && std::equal(s.bytes.begin() + kFirstTrailing, s.bytes.begin() + s.length,
                      m_changed->bytes.begin() + kFirstTrailing);
    if (!again) {
        m_changed = s;
        return false;
    }
    m_history.clear();
    m_history.push_back(*m_changed);
    m_changed.reset();
    return true;
}

} // namespace kvp
