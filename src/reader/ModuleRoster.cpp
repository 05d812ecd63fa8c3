#include "ModuleRoster.h"

#include "protocol/Address.h"

#include <algorithm>
#include <utility>

namespace kvp {

void ModuleRoster::setBus(std::vector<int> addresses, const std::string &box)
{
    m_bus = addresses.size() > 1;
    if (m_bus)
        m_order = std::move(addresses);
    else
        m_order = {validAddress(box).value_or(m_order.front())};
    m_turn = m_asideTurn = m_order.size() - 1; // the first is asked first
    m_asked.reset();
}

void ModuleRoster::followAddressBox(const std::string &box)
{
    if (m_bus)
        return;
    const auto wanted = validAddress(box);
    if (!wanted || *wanted == m_order.front())
        return;
    m_order = {*wanted};
    m_turn = m_asideTurn = 0;
    m_asked.reset();
    // A module is always set up before it is queried at a new address; the module
    // there may have been another, or restarted, since it was last read.
    module(*wanted).setUp = false;
}

void ModuleRoster::start(TimePoint now, bool newRun)
{
    if (newRun)
        for (auto &[address, m] : m_modules)
            m.start(now, true);
    for (const int a : m_order)
        module(a).start(now, newRun);
    m_turn = m_asideTurn = m_order.size() - 1;
    m_asked.reset();
    m_nextAsideAt = {};
    m_news.clear();
}

std::optional<std::size_t> ModuleRoster::nextOf(std::size_t from, bool aside) const
{
    for (std::size_t k = 1; k <= m_order.size(); ++k) {
        const std::size_t i = (from + k) % m_order.size();
        const ModuleState *m = find(m_order[i]);
        if ((m && m->aside != ModuleState::Aside::no) == aside)
            return i;
    }
    return std::nullopt;
}

std::uint64_t ModuleRoster::oddBytesOfOthers(const ModuleState &m) const
{
    std::uint64_t odd = 0;
    for (const auto &[address, other] : m_modules) {
        const CycleCounters &c = other.counters;
        if (address != m.address)
            odd += c.discardedBytes + c.skippedBytes + c.badChecks + c.badTrailers + c.shortReplies;
    }
    return odd;
}

bool ModuleRoster::anyTakingTurns() const
{
    return nextOf(0, false).has_value();
}

ModuleState *ModuleRoster::nextDue(TimePoint now)
{
    std::optional<std::size_t> i;
    if (now >= m_nextAsideAt || !anyTakingTurns())
        i = nextOf(m_asideTurn, true);
    if (!i)
        i = nextOf(m_turn, false);
    return i ? &module(m_order[*i]) : nullptr;
}

ModuleState *ModuleRoster::nextTurn(std::vector<int> &news, TimePoint now, std::optional<int> setUpNow,
                                    bool intervalOver)
{
    // The query right after a module's set-up is the rest of its turn, paced or not.
    if (!setUpNow)
        turnOver(now, m_settings.pollInterval);
    const std::vector<int> said = takeNews();
    news.insert(news.end(), said.begin(), said.end());
    if (setUpNow)
        return &module(*setUpNow);
    ModuleState *m = nextDue(now);
    if (!m || !intervalOver)
        return nullptr;
    asking(*m, now);
    return m;
}

Clock::duration ModuleRoster::timeoutFor(const ModuleState &m) const
{
    // A silent module is only probed: if it were there it would long have answered,
    // and the others on the line are not to wait for it. So is every module's first
    // set-up, unless the user chose the time-out (then a module of the bus is given
    // it once, and one that answers after it is seen to be late).
    const bool firstSetUp = !m.answered && !m.setUp && m.failuresInRow == 0 && m.counters.lateReplies == 0
        && !m.timeoutGrown;
    const bool probe = onBus() && (m.aside == ModuleState::Aside::silent || (firstSetUp && m_settings.adaptTimeout));
    return probe ? std::min<Clock::duration>(m.timeout, kProbeTimeout) : m.timeout;
}

void ModuleRoster::asking(ModuleState &m, TimePoint now)
{
    const auto at = std::find(m_order.begin(), m_order.end(), m.address);
    if (at == m_order.end())
        return;
    const auto i = static_cast<std::size_t>(at - m_order.begin());
    (m.aside == ModuleState::Aside::no ? m_turn : m_asideTurn) = i;
    m_asked = i;
    m_turnStarted = now;
    m.askedSinceStart = true;
}

void ModuleRoster::turnOver(TimePoint now, Clock::duration pace)
{
    if (!m_asked)
        return;
    const ModuleState &m = module(m_order[*m_asked]);
    m_asked.reset();
    if (m.aside == ModuleState::Aside::no)
        return;
    // A turn that ended in the module being set aside is charged too: it was
    // spent on a module that does not answer.
    const Clock::duration took = std::max(now - m_turnStarted, pace);
    m_asideCost = m_asideCost == Clock::duration{} ? took : (3 * m_asideCost + took) / 4;
    m_nextAsideAt = std::max(m_nextAsideAt, m_turnStarted + took * kAsideShare);
}

void ModuleRoster::setAside(ModuleState &m, ModuleState::Aside why)
{
    if (!onBus())
        return;
    if (m.aside == ModuleState::Aside::no && !m.backedOffSaid)
        m_news.push_back(m.address);
    m.aside = why;
}

bool ModuleRoster::heardLate(ModuleState &m, Clock::duration asked)
{
    ++m.counters.lateReplies;
    // Late for a probe's short wait is not late for its time-out: no advice to lengthen it.
    if (asked >= m.timeout)
        ++m.lateInRow;
    m.silentInRow = 0;
    return m.aside == ModuleState::Aside::silent && answered(m);
}

Clock::duration ModuleRoster::gaveUp(ModuleState &m, bool nothingHeard, bool timedOutBefore, Clock::duration asked)
{
    // After a time-out with nothing heard, the answer may merely be late: until the
    // module has answered in time, and when it times out again, the line is watched
    // a time-out long, so that a late answer is seen as such (and the time-out can
    // grow to cover it) rather than taken for the answer to the next command. A
    // module that said nothing the first two times (on a bus, where the others
    // wait, the first time) is not slow but silent.
    //
    // A probe is too short for a module that is merely slow, and its answer would
    // come while the next module is asked: the first probe once set aside watches
    // the line a few probes long, in the modules aside's share (the whole time-out
    // would stretch their first round as much again). A module slower than that but
    // inside its time-out would never be heard, its every answer landing in another
    // module's turn: when the others have since heard bytes that were not theirs, a
    // later probe watches its whole time-out, once.
    const bool probed = asked < m.timeout;
    const std::uint64_t odd = oddBytesOfOthers(m);
    const bool othersHeardStrangers = odd > std::exchange(m.othersOddAt, odd);
    Clock::duration watch{};
    if (nothingHeard && !probed && (!m.answered || timedOutBefore) && m.silentInRow <= (onBus() ? 1 : 2))
        watch = m.timeout;
    else if (nothingHeard && probed && m.aside == ModuleState::Aside::silent && m.silentInRow == 2)
        watch = std::min(m.timeout, kSlowWatch);
    else if (nothingHeard && probed && m.aside == ModuleState::Aside::silent && m.silentInRow > 2
             && othersHeardStrangers && !m.watchedWhole && m.timeout > kSlowWatch) {
        watch = m.timeout;
        m.watchedWhole = true;
    }
    // On a bus, a module that said nothing to its set-up, or twice in a row, is set
    // aside; a late answer heard in the watch brings it back at once. One that has
    // answered in this run is set aside only once its set-up again, after its
    // failures in a row, goes unanswered too: a line that loses two replies in a row
    // now and then would otherwise hold a live module to the silent ones' share.
    if (onBus() && nothingHeard && (!m.setUp || (m.silentInRow >= 2 && !m.answered)))
        setAside(m, ModuleState::Aside::silent);
    return watch;
}

std::optional<milliseconds> ModuleRoster::lateAnswer(ModuleState &m, Clock::duration late)
{
    const bool first = !m.timeoutGrown;
    const auto grown = m.lateAnswer(late, m_settings);
    if (!grown && m.lateInRow >= 2 && late > m.timeout)
        setAside(m, ModuleState::Aside::late);
    return grown && first ? grown : std::nullopt;
}

bool ModuleRoster::answered(ModuleState &m)
{
    if (m.aside == ModuleState::Aside::no)
        return false;
    m.aside = ModuleState::Aside::no;
    std::erase(m_news, m.address);
    return std::exchange(m.backedOffSaid, false);
}

std::vector<int> ModuleRoster::takeNews()
{
    for (const int a : m_order)
        if (const ModuleState *m = find(a); !m || !m->askedSinceStart)
            return {};
    std::vector<int> news;
    for (const int a : m_news)
        if (ModuleState &m = module(a); m.aside != ModuleState::Aside::no) {
            m.backedOffSaid = true;
            news.push_back(a);
        }
    m_news.clear();
    return news;
}

int ModuleRoster::asideCount() const
{
    return static_cast<int>(std::count_if(m_order.begin(), m_order.end(), [this](int a) {
        const ModuleState *m = find(a);
        return m && m->aside != ModuleState::Aside::no;
    }));
}

Clock::duration ModuleRoster::asideSpacing() const
{
    // Before one was timed: the probe, the byte gap after it and a command's time on the line.
    const Clock::duration cost = m_asideCost != Clock::duration{}
        ? m_asideCost
        : std::max<Clock::duration>(kProbeTimeout + m_settings.byteGap + std::chrono::milliseconds(5),
                                    m_settings.pollInterval);
    return anyTakingTurns() ? cost * kAsideShare : cost;
}

Clock::duration ModuleRoster::asideEvery() const
{
    return asideCount() * asideSpacing();
}

std::optional<TimePoint> ModuleRoster::nextAskOf(int address, TimePoint now) const
{
    const ModuleState *m = find(address);
    if (!m || m->aside == ModuleState::Aside::no)
        return std::nullopt;
    if (m_asked && m_order[*m_asked] == address)
        return now;
    const TimePoint first = anyTakingTurns() ? std::max(m_nextAsideAt, now) : now;
    int before = 0;
    for (std::size_t i = nextOf(m_asideTurn, true).value_or(0); m_order[i] != address;
         i = nextOf(i, true).value_or(i), ++before) {
        if (before > static_cast<int>(m_order.size()))
            return std::nullopt;
    }
    return first + before * asideSpacing();
}

std::optional<TimePoint> ModuleRoster::nextStaleAt() const
{
    std::optional<TimePoint> next;
    for (const int a : m_order) {
        const ModuleState *m = find(a);
        if (!m || m->stale)
            continue;
        // On a bus a module waiting its turn is not stale until it has failed twice.
        std::optional<TimePoint> at;
        // A value read at a poll interval is not stale before the next one is due.
        const Clock::duration fresh = m->freshFor();
        if (!onBus())
            at = m->lastGoodAt + fresh;
        else if (m->failedOnBus())
            at = std::max(m->lastGoodAt + fresh, m->lastFailedAt);
        if (at && (!next || *at < *next))
            next = at;
    }
    return next;
}

void ModuleRoster::updateStale(TimePoint now, bool reading)
{
    for (const int a : m_order)
        if (auto it = m_modules.find(a); it != m_modules.end())
            it->second.updateStale(now, reading, onBus());
}

ModuleState &ModuleRoster::module(int address)
{
    return m_modules.try_emplace(address, address, m_settings).first->second;
}

const ModuleState *ModuleRoster::find(int address) const
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : &it->second;
}

CycleStatus ModuleRoster::status(int address, bool reading, bool everRead) const
{
    if (const ModuleState *m = find(address))
        return m->status(reading, everRead);
    return ModuleState(address, m_settings).status(reading, everRead);
}

const ReplyFraming &ModuleRoster::framing(int address) const
{
    static const ReplyFraming nothingLearned;
    const ModuleState *m = find(address);
    return m ? m->framing : nothingLearned;
}

const CycleCounters &ModuleRoster::counters(int address) const
{
    static const CycleCounters none;
    const ModuleState *m = find(address);
    return m ? m->counters : none;
}

CycleCounters ModuleRoster::counters(std::uint64_t stray) const
{
    CycleCounters all;
    bool first = true;
    for (const auto &[address, m] : m_modules) {
        const CycleCounters &c = m.counters;
        all.runStart = first ? c.runStart : std::min(all.runStart, c.runStart);
        first = false;
        all.commandsSent += c.commandsSent;
        all.goodValues += c.goodValues;
        all.timeouts += c.timeouts;
        all.badChecks += c.badChecks;
        all.badTrailers += c.badTrailers;
        all.shortReplies += c.shortReplies;
        all.discardedBytes += c.discardedBytes;
        all.skippedBytes += c.skippedBytes;
        all.lateReplies += c.lateReplies;
        all.replyTimeMin = std::min(all.replyTimeMin, c.replyTimeMin);
        all.replyTimeMax = std::max(all.replyTimeMax, c.replyTimeMax);
        all.replyTimeTotal += c.replyTimeTotal;
        all.timedReplies += c.timedReplies;
    }
    all.discardedBytes += stray;
    return all;
}

Framings ModuleRoster::framings() const
{
    Framings all;
    for (const auto &[address, m] : m_modules)
        all.emplace(address, m.framing);
    return all;
}

} // namespace kvp
