#include "CounterSummary.h"

#include <cstdio>

namespace kvp {
namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

std::string counterSummary(const CycleCounters &c, TimePoint now)
{
    const double seconds = std::chrono::duration<double>(now - c.runStart).count();
    char line[512];
    int n = std::snprintf(line, sizeof line,
                          "%llu value%s in %.1f s (%.1f/s); %llu commands, %llu time-outs, %llu bad check bytes, "
                          "%llu short replies, %llu stray bytes discarded",
                          static_cast<unsigned long long>(c.goodValues), c.goodValues == 1 ? "" : "s", seconds,
                          seconds > 0 ? static_cast<double>(c.goodValues) / seconds : 0.0,
                          static_cast<unsigned long long>(c.commandsSent),
                          static_cast<unsigned long long>(c.timeouts), static_cast<unsigned long long>(c.badChecks),
                          static_cast<unsigned long long>(c.shortReplies),
                          static_cast<unsigned long long>(c.discardedBytes));
    if (c.timedReplies > 0 && n > 0 && n < static_cast<int>(sizeof line))
        std::snprintf(line + n, sizeof line - n, "; reply time min %.1f, mean %.1f, max %.1f ms",
                      ms(c.replyTimeMin), ms(c.replyTimeMean()), ms(c.replyTimeMax));
    return line;
}

} // namespace kvp
