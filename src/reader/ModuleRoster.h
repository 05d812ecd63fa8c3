#pragma once

#include "CycleCounters.h"
#include "CycleSettings.h"
#include "ModuleState.h"
#include "ReplyFraming.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kvp {

// The modules the cycle reads and whose turn it is: the one in the address box, or
// several on one line (a bus) asked one after the other. It keeps each module's
// state by address for as long as the cycle lives, so that a module read again is
// not learned afresh, and nothing of one is used for another.
//
// On a bus the modules that answer, and those not asked yet, take turns; the ones
// set aside (silent, or late past a time-out that may not grow) share one budget,
// a twelfth of the line's time however many they are, asked one after the other in
// a turn of their own. The budget is charged with what each of their turns really
// took, so it holds whatever the time-out, the byte gap or the poll interval. When
// no module answers at all, the line is theirs.
class ModuleRoster
{
public:
    // A module aside is given this long to answer: long enough for any module that
    // answers at all at 19200 bit/s (a slow one shows up as late, and is given its
    // full time-out again), short enough to leave the line to the others.
    static constexpr Clock::duration kProbeTimeout = std::chrono::milliseconds(50);
    // How long the first probe of a module set aside watches for its late answer.
    static constexpr Clock::duration kSlowWatch = 4 * kProbeTimeout;
    // The modules aside take at most one part in this many of the line's time.
    static constexpr int kAsideShare = 12;

    explicit ModuleRoster(CycleSettings settings) : m_settings(settings) {}

    // Several modules in turn; fewer than two hand the roster back to the address
    // box (`box`, when it holds a valid address, else the module read last).
    void setBus(std::vector<int> addresses, const std::string &box);
    // Without a bus: follows the address box. An invalid text keeps the last address.
    void followAddressBox(const std::string &box);
    bool onBus() const { return m_order.size() > 1; }
    bool busGiven() const { return m_bus; }

    // A new start: the first in order is asked next; a new run starts every count.
    void start(TimePoint now, bool newRun);
    // The turn before is over; whose turn it is now, if the poll interval is over
    // (`intervalOver`), but the rest of the turn of `setUpNow`, whose set-up was just
    // taken, in any case. The news of modules set aside go to `news`.
    ModuleState *nextTurn(std::vector<int> &news, TimePoint now, std::optional<int> setUpNow, bool intervalOver);
    // How long `m` is given to answer the command it is sent now.
    Clock::duration timeoutFor(const ModuleState &m) const;
    // Whose turn it is now; nothing asked yet (asking() says so).
    ModuleState *nextDue(TimePoint now);
    // The turn of `m` begins: its command goes out now.
    void asking(ModuleState &m, TimePoint now);
    // The turn begun by asking() is over; a turn of a module aside is charged to
    // the budget of the modules aside. `pace`: the shortest turn (the poll interval).
    void turnOver(TimePoint now, Clock::duration pace);
    // `m` is set aside (nothing heard: silent; else late), or was already.
    void setAside(ModuleState &m, ModuleState::Aside why);
    // An answer from `m` came after the time it was given (`asked`): slow, not
    // silent. True when it had been said to be aside, and is back.
    bool heardLate(ModuleState &m, Clock::duration asked);
    // `m` was given up (`nothingHeard`: not a byte came in `asked`, the time it was
    // given); sets it aside when it is silent. How long to watch the line for its
    // late answer before the next command.
    Clock::duration gaveUp(ModuleState &m, bool nothingHeard, bool timedOutBefore, Clock::duration asked);
    // A late answer of `m` ended this long after its command: its time-out grows when
    // it may (its new length, the first time); else one that keeps answering past a
    // time-out that may not grow is set aside.
    std::optional<milliseconds> lateAnswer(ModuleState &m, Clock::duration late);
    // A good value from `m`: back among those that take turns. True when it had been
    // said to be aside, so that its coming back is said too.
    bool answered(ModuleState &m);
    // Modules set aside whose news is due: each once, and those found silent at the
    // start only once every module was asked, so that one line says how many share.
    std::vector<int> takeNews();
    // How many modules are aside, and how often each of them is asked now.
    int asideCount() const;
    Clock::duration asideEvery() const;
    // When a module aside is next asked, about; nothing when it is not aside.
    std::optional<TimePoint> nextAskOf(int address, TimePoint now) const;
    // When the value of a module read now turns stale, if it is live.
    std::optional<TimePoint> nextStaleAt() const;
    void updateStale(TimePoint now, bool reading);

    ModuleState &module(int address);
    const ModuleState *find(int address) const;
    // Of any address, also one never read.
    CycleStatus status(int address, bool reading, bool everRead) const;
    const ReplyFraming &framing(int address) const;
    const CycleCounters &counters(int address) const;
    const std::vector<int> &order() const { return m_order; }
    int first() const { return m_order.front(); }

    // The counts of every module together; `stray` bytes came while none was asked.
    CycleCounters counters(std::uint64_t stray) const;
    Framings framings() const;

private:
    // Of the modules in order from the one after `from`, the first aside (or not).
    std::optional<std::size_t> nextOf(std::size_t from, bool aside) const;
    Clock::duration asideSpacing() const;
    bool anyTakingTurns() const;
    // What the modules but `m` have heard that was no reply of theirs: bytes thrown
    // away or skipped, and blocks given up.
    std::uint64_t oddBytesOfOthers(const ModuleState &m) const;

    CycleSettings m_settings; // what a module read for the first time starts with
    bool m_bus = false; // setBus() was given a bus: the address box plays no part
    std::vector<int> m_order{0};
    std::size_t m_turn = 0; // index in m_order of the module last asked in turn
    std::size_t m_asideTurn = 0; // and of the module aside asked last
    std::optional<std::size_t> m_asked; // whose turn is on the line
    TimePoint m_turnStarted{};
    TimePoint m_nextAsideAt{}; // the budget: no module aside is asked before this
    Clock::duration m_asideCost{}; // what a turn of a module aside takes, on average
    std::vector<int> m_news;
    std::map<int, ModuleState> m_modules;
};

} // namespace kvp
