#pragma once

#include "CycleActions.h"
#include "CycleCounters.h"
#include "TrafficEntry.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kvp {

// Turns what the read cycle did into lines of traffic: each command sent, and each
// block gathered with the verdict the cycle gave it. The cycle's verdicts are read
// off its counters, which it keeps anyway, so the cycle itself is not touched.
//
// Pure: the edge hands it the bytes received, and after each event the cycle's
// counters and actions; it answers with the entries to show.
class TrafficJudge
{
public:
    void received(std::span<const std::uint8_t> bytes);
    // After the cycle handled an event. `counters` are the run's counts now (of every
    // module); counts that went down mean a new run and judge nothing.
    std::vector<TrafficEntry> judged(const CycleCounters &counters, const CycleActions &actions, TimePoint now);

private:
    TrafficEntry gathered(TrafficEntry::Kind kind, TimePoint now);

    CycleCounters m_before;
    std::string m_bytes;
    std::size_t m_byteCount = 0;
    int m_address = 0;
    bool m_parameterCommand = false; // the command on the line sets the module up
    bool m_late = false;             // what is being gathered answers an earlier command
};

} // namespace kvp
