#pragma once

#include "CycleSettings.h"

#include <cstdint>

namespace kvp {

// Counts of one reading run; Read starts a new run.
struct CycleCounters {
    std::uint64_t commandsSent = 0;
    std::uint64_t goodValues = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t badChecks = 0;
    // Blocks that checked but lacked the trailing bytes every good reply has.
    std::uint64_t badTrailers = 0;
    std::uint64_t shortReplies = 0;
    std::uint64_t discardedBytes = 0;
    // Bytes skipped in front of a reply that was found further into its block.
    std::uint64_t skippedBytes = 0;
    // Replies that completed only after their time-out had fired.
    std::uint64_t lateReplies = 0;

    // From sending a value query to the last byte of its good reply.
    Clock::duration replyTimeMin = Clock::duration::max();
    Clock::duration replyTimeMax = Clock::duration::zero();
    Clock::duration replyTimeTotal = Clock::duration::zero();
    std::uint64_t timedReplies = 0;

    TimePoint runStart{};

    void noteReplyTime(Clock::duration d)
    {
        replyTimeMin = d < replyTimeMin ? d : replyTimeMin;
        replyTimeMax = d > replyTimeMax ? d : replyTimeMax;
        replyTimeTotal += d;
        ++timedReplies;
    }
    Clock::duration replyTimeMean() const
    {
        return timedReplies ? replyTimeTotal / static_cast<Clock::rep>(timedReplies) : Clock::duration::zero();
    }
};

} // namespace kvp
