#include "CounterSummary.h"

#include <cstdio>

namespace kvp {
namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// "1 value", "2 values"; `many` is the plural when it is not `one` plus s.
std::string count(std::uint64_t n, const char *one, const char *many = nullptr)
{
    std::string text = std::to_string(n) + ' ';
    if (n == 1)
        return text + one;
    return many ? text + many : text + one + 's';
}

} // namespace

std::string counterSummary(const CycleCounters &c, TimePoint now)
{
    const double seconds = std::chrono::duration<double>(now - c.runStart).count();
    char rate[64];
    std::snprintf(rate, sizeof rate, " in %.1f s (%.1f/s); ", seconds,
                  seconds > 0 ? static_cast<double>(c.goodValues) / seconds : 0.0);
    std::string line = count(c.goodValues, "value") + rate + count(c.commandsSent, "command") + ", "
        + count(c.timeouts, "time-out") + ", " + count(c.badChecks, "bad check byte") + ", "
        + count(c.badTrailers, "reply with bad trailing bytes", "replies with bad trailing bytes") + ", "
        + count(c.shortReplies, "short reply", "short replies") + ", "
        + count(c.lateReplies, "late reply", "late replies") + "; "
        + count(c.discardedBytes, "byte discarded", "bytes discarded") + ", "
        + std::to_string(c.skippedBytes) + " skipped in front of replies";
    if (c.timedReplies > 0) {
        char times[128];
        std::snprintf(times, sizeof times, "; reply time min %.1f, mean %.1f, max %.1f ms", ms(c.replyTimeMin),
                      ms(c.replyTimeMean()), ms(c.replyTimeMax));
        line += times;
    }
    return line;
}

} // namespace kvp
