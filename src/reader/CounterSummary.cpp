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
    const auto n = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    char line[640];
    int used = std::snprintf(
        line, sizeof line,
        "%llu %s in %.1f s (%.1f/s); %llu commands, %llu time-outs, %llu bad check bytes, %llu bad trailing bytes, "
        "%llu short replies, %llu late replies; %llu bytes discarded, %llu skipped in front of replies",
        n(c.goodValues), c.goodValues == 1 ? "value" : "values", seconds,
        seconds > 0 ? static_cast<double>(c.goodValues) / seconds : 0.0, n(c.commandsSent), n(c.timeouts),
        n(c.badChecks), n(c.badTrailers), n(c.shortReplies), n(c.lateReplies), n(c.discardedBytes),
        n(c.skippedBytes));
    if (c.timedReplies > 0 && used > 0 && used < static_cast<int>(sizeof line))
        std::snprintf(line + used, sizeof line - used, "; reply time min %.1f, mean %.1f, max %.1f ms",
                      ms(c.replyTimeMin), ms(c.replyTimeMean()), ms(c.replyTimeMax));
    return line;
}

} // namespace kvp
