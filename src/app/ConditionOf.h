#pragma once

#include "condition/Condition.h"
#include "reader/CycleStatus.h"

namespace kvp {

// What the user is told of the read cycle's status.
Condition conditionOf(const CycleStatus &status);

} // namespace kvp
