#include "ModuleState.h"

#include <algorithm>

namespace kvp {

ModuleState::ModuleState(int address_, const CycleSettings &settings)
    : address(address_), timeout(settings.replyTimeout), pace(settings.pollInterval)
{
}

void ModuleState::start(TimePoint now, bool newRun)
{
    live(now);
    setUp = false;
    aside = Aside::no;
    askedSinceStart = false;
    backedOffSaid = false;
    watchedWhole = false;
    if (newRun) {
        counters = {};
        counters.runStart = now;
        answered = false;
    }
}

void ModuleState::good(TimePoint now)
{
    ++counters.goodValues;
    answered = true;
    setUp = true;
    live(now);
}

void ModuleState::live(TimePoint now)
{
    failuresInRow = 0;
    silentInRow = 0;
    lastFailure = StaleReason::none;
    stale = false;
    echoSuspected = false;
    lateInRow = 0;
    lastGoodAt = now;
}

void ModuleState::failed(StaleReason reason, bool silent, TimePoint now)
{
    ++failuresInRow;
    silentInRow = silent ? silentInRow + 1 : 0;
    lastFailure = reason;
    lastFailedAt = now;
}

void ModuleState::updateStale(TimePoint now, bool reading, bool onBus)
{
    if (reading && !stale && now - lastGoodAt >= freshFor() && (!onBus || failedOnBus()))
        stale = true;
}

CycleStatus ModuleState::status(bool reading, bool everRead) const
{
    CycleStatus s;
    s.phase = reading ? CyclePhase::reading : everRead ? CyclePhase::stopped : CyclePhase::ready;
    if (reading && stale) {
        s.stale = lastFailure == StaleReason::none ? StaleReason::noAnswer : lastFailure;
        s.echoSuspected = echoSuspected;
    }
    // Once the time-outs are explained by answers that came after them, the words are
    // "late", not "no answer".
    s.repliesLate = reading && (lateInRow >= 2 || (stale && lateInRow >= 1 && lastFailure == StaleReason::noAnswer));
    return s;
}

std::optional<milliseconds> ModuleState::lateAnswer(Clock::duration late, const CycleSettings &settings)
{
    using namespace std::chrono;
    const auto wanted = ceil<milliseconds>(late * 3 / 2);
    const auto grown = std::min(milliseconds((wanted.count() + 99) / 100 * 100), settings.longestTimeout);
    if (!settings.adaptTimeout || grown <= timeout)
        return std::nullopt;
    timeout = grown;
    timeoutGrown = true;
    return grown;
}

Clock::duration ModuleState::ownCopyWindow(std::size_t commandBytes) const
{
    // An answer cannot be whole before the command and the answer itself have crossed
    // the line: 11 bits a byte at 19200 bit/s. A copy of the last reply whole sooner
    // was on the line before the command: the module repeating itself. Only once every
    // answer timed took that long, as on a real line (a simulated module may answer
    // at once, and then a copy is as good as any answer).
    constexpr Clock::duration byteTime = std::chrono::microseconds(11 * 1'000'000 / 19200);
    constexpr std::size_t shortestReply = 6;
    const auto least = byteTime * static_cast<Clock::rep>(commandBytes + framing.length().value_or(shortestReply));
    if (counters.timedReplies == 0 || counters.replyTimeMin < least)
        return {};
    return least;
}

} // namespace kvp
