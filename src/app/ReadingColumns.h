#pragma once

#include "platform/ValueLog.h"
#include "reader/Readouts.h"

namespace kvp {

// The columns of a log row besides the raw count: the value as shown, its unit,
// and "high" or "low" when it is beyond that limit.
ValueLog::Shown readingColumns(const Reading &reading, const ReadoutSettings &settings);

} // namespace kvp
