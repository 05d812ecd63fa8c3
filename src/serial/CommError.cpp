#include "CommError.h"

namespace kvp {
namespace {

// What an adapter pulled out gives: a USB driver fails every call with one of these
// (Wine's pty with "not ready").
bool isRemoval(unsigned long error)
{
    switch (error) {
    case commError::accessDenied:
    case commError::badCommand:
    case commError::deviceRemoved:
    case commError::notReady:
    case commError::genFailure:
        return true;
    default:
        return false;
    }
}

} // namespace

Condition commOpenCondition(unsigned long error)
{
    switch (error) {
    case 0:
        return Condition::none;
    case commError::fileNotFound:
    case commError::pathNotFound:
    case commError::invalidName:
        return Condition::portMissing;
    // A COM port is opened by one program at a time; Windows says "access denied"
    // to the second one.
    case commError::accessDenied:
    case commError::sharingViolation:
        return Condition::portInUse;
    case commError::tooManyOpenFiles:
        return Condition::tooManyFiles;
    default:
        return Condition::portSetup;
    }
}

Condition commReadCondition(unsigned long error)
{
    if (error == 0 || error == commError::operationAborted)
        return Condition::none;
    // Anything else leaves the port unreadable; the reopen finds out whether it is back.
    return Condition::deviceRemoved;
}

Condition commWriteCondition(unsigned long error)
{
    if (error == 0 || error == commError::operationAborted)
        return Condition::none;
    return isRemoval(error) ? Condition::deviceRemoved : Condition::writeFailed;
}

} // namespace kvp
