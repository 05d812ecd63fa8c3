#pragma once

#include "condition/Condition.h"

namespace kvp {

// The Win32 error codes a COM port gives, by number, so that what each means to the
// user is decided (and tested) on any system.
namespace commError {
inline constexpr unsigned long fileNotFound = 2;
inline constexpr unsigned long pathNotFound = 3;
inline constexpr unsigned long tooManyOpenFiles = 4;
inline constexpr unsigned long accessDenied = 5;
inline constexpr unsigned long notReady = 21;
inline constexpr unsigned long badCommand = 22;
inline constexpr unsigned long genFailure = 31;
inline constexpr unsigned long sharingViolation = 32;
inline constexpr unsigned long invalidName = 123;
inline constexpr unsigned long operationAborted = 995;
inline constexpr unsigned long deviceRemoved = 1617;
} // namespace commError

// Why CreateFile on \\.\COMn failed, as the user is told.
Condition commOpenCondition(unsigned long error);

// What a failed wait, read or write on an open port means. Condition::none: nothing
// happened to the port (an aborted wait, which Windows' own USB driver gives with the
// adapter still there): the wait is armed again.
Condition commReadCondition(unsigned long error);
Condition commWriteCondition(unsigned long error);

} // namespace kvp
