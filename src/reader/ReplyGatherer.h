#pragma once

#include "QuietWait.h"
#include "ReplyFraming.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// One command's answer as it comes in, for the read cycle and the scan alike: the
// echo of the command taken off (two-wire RS-485 adapters hear themselves), the
// bytes gathered up to a bound, when the command left and the last byte came,
// where a reply of the module's learned length stands in the block, and the wait
// for a quiet line after an answer was given up.
//
// Pure: it is handed bytes and the time, and keeps no clock of its own.
class ReplyGatherer
{
public:
    // Longer than any reply with stray bytes in front: noise, not worth gathering.
    static constexpr std::size_t kMaxBlock = ReplyFraming::kMaxLength + ReplyFraming::kMaxSkip;

    explicit ReplyGatherer(bool dropEcho = false);

    // A command went out to module `to`: a new block begins. A copy of the reply taken
    // last that is whole within `soonest` came too soon to be the answer: it was on the
    // line before the command, its module repeating itself, and answers nobody. When
    // that reply was another module's, a copy that comes later is its repeat too,
    // unless `to` answered before with replies of that length (`toAnswering`): the two
    // may well read the same, and the copy is held until what follows shows what it is.
    // Such a copy held is a repeat all the same when whole within `toQuickest`.
    void sent(std::string command, TimePoint now, int to = -1, Clock::duration soonest = {},
              std::size_t toAnswering = 0, Clock::duration toQuickest = {});
    // The reply of module `from` was taken: what its repeat would look like.
    void answered(std::span<const std::uint8_t> reply, int from);
    // Module `from` was seen to send a reply a second time, right behind the first.
    bool repeater(int from) const;
    // Bytes that arrived while the answer is awaited. Returns how many of them were
    // dropped: a repeat of the reply before, or beyond the bound.
    std::size_t add(std::span<const std::uint8_t> bytes, TimePoint now);
    // Once the block reaches the learned length: where in it a reply of that length
    // stands, first at the start, then (as more comes) behind stray bytes. Nothing
    // while it is shorter, and nothing when no reply is there yet.
    std::optional<std::size_t> replyAt(const ReplyFraming &framing);
    void clear();

    std::span<const std::uint8_t> block() const { return m_block; }
    bool full() const { return m_block.size() >= kMaxBlock; }
    // The learned length came and was no reply there: the block now ends on silence.
    bool pastLength() const { return m_pastLength; }
    // The block is another module's copy and nothing else: its repeat, or the answer.
    bool anothersCopyAlone() const { return m_copyInBlock; }
    const std::string &command() const { return m_command; }
    TimePoint sentAt() const { return m_sentAt; }
    TimePoint lastByteAt() const { return m_lastByteAt; }
    bool silentFor(TimePoint now, Clock::duration gap) const { return now - m_lastByteAt >= gap; }
    // The block begins with the command just sent: what an unexpected echo looks like.
    bool startsWithCommand() const;

    // Let the line fall quiet before the next command (see QuietWait). Bytes that
    // come meanwhile are not an answer: they are counted and thrown away.
    void beginQuiet(TimePoint now, TimePoint silentFrom, bool afterTimeout, Clock::duration watch = {});
    // Bytes while quiet; true once, when they are an answer after its time-out.
    bool noise(std::size_t count, TimePoint now);
    TimePoint quietDue(Clock::duration gap, Clock::duration bound) const;
    bool quietOver(TimePoint now, Clock::duration gap, Clock::duration bound) const;
    // The quiet wait heard an answer after its time-out.
    bool lateAnswerSeen() const { return m_quiet.lateSeen; }

private:
    std::span<const std::uint8_t> withoutEcho(std::span<const std::uint8_t> bytes);
    std::span<const std::uint8_t> withoutRepeat(std::span<const std::uint8_t> bytes, std::size_t &dropped, TimePoint now);
    void sawRepeat(int from);

    bool m_dropEcho;
    std::string m_command;
    std::size_t m_echoMatched = 0;
    std::vector<std::uint8_t> m_lastReply;
    int m_lastReplyFrom = -1;
    std::vector<std::uint8_t> m_repeat; // the copy that may come first; empty when none
    std::size_t m_repeatMatched = 0;
    std::bitset<32> m_repeaters; // modules seen to send a reply twice, the copy right behind
    TimePoint m_repeatUntil{}; // a copy whole later is no repeat but the answer
    bool m_askedAgain = false; // the command is for the module whose reply was taken last
    int m_copyFrom = -1;       // whose reply was taken before the command
    bool m_holdCopy = false;   // another module's copy may be the answer: it waits for what follows
    bool m_copyInBlock = false; // the block is that copy so far: more behind it makes it a repeat
    int m_to = -1;
    TimePoint m_sentAt{};
    TimePoint m_lastByteAt{};
    std::vector<std::uint8_t> m_block;
    bool m_pastLength = false;
    QuietWait m_quiet;
};

} // namespace kvp
