#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>

namespace kvp {

class ReplyFraming;
// What was learned of each module on the line, by address: modules differ.
using Framings = std::map<int, ReplyFraming>;

// What the module's replies look like on this line, learned from the replies
// themselves: their length, and which bytes after the check byte never change.
//
// Nothing in the protocol fixes a reply's length; a value reply is three value
// bytes, their XOR and at least two more. An 8-bit check lets one random block in
// 256 through, and a block shifted by a stray byte is a random block; the learned
// length and the fixed trailing bytes (CR LF on most modules) are what make a
// block trustworthy enough to be shown.
//
// Pure bookkeeping: the read cycle decides when a block ends and asks here whether
// it is a reply.
class ReplyFraming
{
public:
    // Stray bytes that may stand in front of a reply (an RS-485 driver switching
    // on, the tail of an earlier reply) and still let it be found.
    static constexpr std::size_t kMaxSkip = 3;
    // The longest reply learned; anything longer is noise.
    static constexpr std::size_t kMaxLength = 32;
    // Good replies, all ended by silence, that must agree before a length is trusted.
    static constexpr std::size_t kLengthVotes = 3;
    // Good replies that must agree on a trailing byte before it is required.
    static constexpr std::size_t kTrailerVotes = 4;
    // Fixed bytes at the end of a reply that mark it as one whatever its length:
    // with the check byte, 24 bits that noise must match.
    static constexpr std::size_t kLineEnd = 2;

    enum class Fit {
        good,
        badCheck,   // bytes 0..3 do not check
        badTrailer, // they check, but a byte that never changed has changed
    };

    std::optional<std::size_t> length() const { return m_length; }
    // The length learned, or else that of the last reply taken (0: none yet).
    std::size_t lengthSoFar() const { return m_length.value_or(m_history.empty() ? 0 : m_history.back().length); }
    // Bytes after the check byte that every recent good reply had the same.
    std::size_t requiredTrailerBytes() const;

    // A block of exactly the learned length. A fixed byte that differs while the
    // line end is in place is a status byte that began to change: good.
    Fit fitsAt(std::span<const std::uint8_t> block) const;
    // Where, one to kMaxSkip bytes in, a reply of the learned length checks and
    // carries the fixed trailing bytes; more may follow it. Only when some trailing
    // byte is required (the check byte alone is too weak for a search), and never
    // when the block checks as it stands.
    std::optional<std::size_t> findShifted(std::span<const std::uint8_t> block) const;
    // A whole block, ended by silence or the time-out, that is not of the learned
    // length: taken when it checks as it stands, ends in the learned line end (the
    // last kLineEnd bytes: a module that changed its length keeps its line end), and
    // the block before it that checked was of the same length.
    bool fitsWhole(std::span<const std::uint8_t> block) const;

    // A reply taken as good.
    void accepted(std::span<const std::uint8_t> reply);
    // A block whose end was seen (silence followed it) and whose first four bytes
    // checked: a vote for its length.
    void observed(std::size_t length);
    // A reply that came exactly at the learned length with nothing around it: the
    // length is right, and earlier odd blocks were noise, not a new length.
    void confirmed() { m_votes.clear(); }
    // A reply of the learned length that checks but has other trailing bytes.
    // True when the previous one had the very same: the module changed them for
    // good, and they are learned anew.
    bool trailerChanged(std::span<const std::uint8_t> reply);

private:
    using Trailer = std::array<std::uint8_t, kMaxLength>;
    struct Seen {
        Trailer bytes{};
        std::size_t length = 0;
    };
    static Seen seen(std::span<const std::uint8_t> reply);
    std::bitset<kMaxLength> requiredMask() const;
    bool trailerMatches(std::span<const std::uint8_t> block) const;
    // The block ends in the learned line end (its last kLineEnd bytes, when fixed).
    bool lineEndMatches(std::span<const std::uint8_t> block) const;
    void relearn(std::size_t length);

    std::optional<std::size_t> m_length;
    std::deque<std::size_t> m_votes;
    std::deque<Seen> m_history;        // the last good replies, newest last
    std::bitset<kMaxLength> m_volatile; // positions seen to change: never required
    std::optional<Seen> m_changed;     // the last block with unexpected trailing bytes
};

} // namespace kvp
