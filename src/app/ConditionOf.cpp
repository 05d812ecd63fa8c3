#include "ConditionOf.h"

namespace kvp {

Condition conditionOf(const CycleStatus &status)
{
    switch (status.phase) {
    case CyclePhase::ready:
        return Condition::ready;
    case CyclePhase::stopped:
        return Condition::stopped;
    case CyclePhase::reading:
        break;
    }
    // Late replies explain the time-outs, and the cure differs: a longer --timeout,
    // not the wiring.
    if (status.repliesLate)
        return Condition::repliesLate;
    switch (status.stale) {
    case StaleReason::none:
        return Condition::reading;
    case StaleReason::noAnswer:
        return Condition::noAnswer;
    case StaleReason::badCheck:
        return status.echoSuspected ? Condition::echoOnLine : Condition::badCheck;
    case StaleReason::badTrailer:
        return Condition::badTrailer;
    case StaleReason::cutShort:
        return Condition::repliesCutShort;
    }
    return Condition::reading;
}

} // namespace kvp
