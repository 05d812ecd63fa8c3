#pragma once

#include "ReplyFraming.h"
#include "ReplyGatherer.h"
#include "ScanActions.h"
#include "ScanSettings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// Finding the module: asks each address in turn with the value query, the only
// command that changes nothing on a module, and notes every address that answers
// with a value reply that passes its check.
//
// Usage, the same as ReadCycle's: stop reading (one master on the line), then
//
//     ScanCycle scan(ScanSettings{.dropEcho = echo}, readCycle.framings());
//     apply(scan.start(now));            // arm the timer at scan.deadline()
//     apply(scan.ShowData(bytes, n, now)) // on every receive event
//     apply(scan.tick(now))              // when the timer fires; re-arm at deadline()
//     apply(scan.cancel(now))            // the user gave up
//
// where apply() discards waiting input and writes `send`, moves a progress bar
// with `progress`, lists `found`, and ends the scan on `finished`; found() holds
// every answer once finished. The framings handed in are what the reader learned of
// its modules, by address: with a module's length its answer ends at once, without
// waiting for silence; no address is judged by another module's framing.
//
// The quick pass gives each address a short time-out. Whatever it heard that may be
// misplaced (an answer after the time-out, a garbled one, or an answer right after
// an address that said nothing, which may be that one's late answer) is asked once
// more at the end, given the retry time-out and, after it, as long again to watch
// for a late answer; an address that stays silent then has the silent addresses
// before it asked too. Only answers that hold up are found; only what is still
// late or garbled then is named. With the user's time-out there is one pass.
// Asked to (ScanSettings::askSilentAgain), the second pass also asks each silent
// address once more, as briefly as the first: a reply lost on a poor line; with
// the user's time-out this is the one pass more.
//
// One address is on the line at a time. An answer ends when the line falls silent
// (not before a value reply's length), at the learned length, or at the time-out.
// Whatever comes after that (a slow module answering late, noise) is let pass
// before the next address is asked, so it is never taken for that address's
// answer. Pure: no port, no timer, no clock of its own.
class ScanCycle
{
public:
    explicit ScanCycle(ScanSettings settings = {}, Framings framings = {});

    // Begins with a moment of quiet, so that a reply to the reader's last query
    // cannot pass for the first address's answer.
    ScanActions start(TimePoint now);
    ScanActions cancel(TimePoint now);
    ScanActions ShowData(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth, TimePoint now);
    ScanActions tick(TimePoint now);
    std::optional<TimePoint> deadline() const;

    bool running() const { return m_state != State::idle && m_state != State::done; }
    bool cancelled() const { return m_cancelled; }
    // Addresses that answered, in the order asked.
    const std::vector<ScanAnswer> &found() const { return m_found; }
    // Answers the quick pass heard but had yet to confirm (each right after an address
    // that said nothing, whose late answer it may be): what a scan cut short before
    // its second pass asked them again still knows.
    std::vector<ScanAnswer> unconfirmed() const;
    // Addresses whose answer failed its check (also when asked again): something is
    // there, but the line is bad.
    const std::vector<int> &garbled() const { return m_garbled; }
    // Addresses whose answer came after the time-out (also when asked again), and
    // was not taken.
    const std::vector<int> &late() const { return m_late; }
    // Addresses silent when first asked that answered when asked again
    // (ScanSettings::askSilentAgain): a module is there, but it or the line loses replies.
    const std::vector<int> &lossy() const { return m_lossy; }
    // Every address asked answered: a module that ignores the address, or a line
    // that hands every command back.
    bool everyAddressAnswered() const;
    std::uint64_t discardedBytes() const { return m_discarded; }

private:
    enum class State { idle, quiet, awaiting, done };
    enum class Suspicion { late, garbled, unconfirmed };

    void askNext(ScanActions &out, TimePoint now);
    void beginSecondPass();
    void finish(ScanActions &out);
    void conclude(ScanActions &out, TimePoint now);
    void gatherToLength(ScanActions &out, TimePoint now);
    void answered(ScanActions &out, TimePoint now, std::size_t offset, std::size_t length);
    void addressDone(ScanActions &out, TimePoint now, std::size_t used);
    void timedOut(TimePoint now);
    // Something odd was heard at the address asked last: named after the second
    // pass, or, in the quick pass, a reason to ask it (and whom it may stand for)
    // again.
    void suspect(Suspicion why);
    // The fewest bytes that silence may end: below them an answer cannot be whole.
    std::size_t silenceEndsFrom() const;
    bool silentFor(TimePoint now) const { return m_gatherer.silentFor(now, m_settings.byteGap); }
    const ReplyFraming &framing() const;
    int address() const { return m_queue[m_next - 1]; } // the one asked last
    bool quickPass() const { return m_settings.retryTimeout.count() > 0 && m_next <= m_firstPass; }
    bool secondPass() const { return m_next > m_firstPass; }
    bool askedAgainForSilence() const;
    milliseconds timeout() const;

    ScanSettings m_settings;
    Framings m_framings;
    State m_state = State::idle;
    bool m_cancelled = false;
    std::vector<int> m_queue; // the addresses to ask, in order; a second pass is appended
    std::size_t m_next = 0;   // the next to ask in m_queue
    std::size_t m_firstPass = 0;
    int m_done = 0;

    ReplyGatherer m_gatherer;

    std::vector<ScanAnswer> m_found;
    std::vector<int> m_garbled;
    std::vector<int> m_late;
    std::vector<int> m_lossy;
    std::vector<int> m_silent;      // timed out in the quick pass
    std::vector<int> m_askedAgain;  // of those, asked again in the second pass, as briefly
    std::uint64_t m_discarded = 0;

    // The quick pass cannot tell an answer from a late answer to an address asked
    // just before: every address that timed out since the last answer may be its
    // sender. Such answers wait for the second pass to confirm them.
    std::vector<int> m_silentRun;               // the latest addresses in a row that timed out
    std::map<int, std::vector<int>> m_suspects; // address -> whom it may stand for
    std::map<int, std::int32_t> m_heard;        // address -> the value its unconfirmed answer gave
};

} // namespace kvp
