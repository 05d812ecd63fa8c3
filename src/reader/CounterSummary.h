#pragma once

#include "CycleCounters.h"

#include <string>

namespace kvp {

// One line on the run so far: values and their rate, failures, reply times.
std::string counterSummary(const CycleCounters &counters, TimePoint now);

} // namespace kvp
