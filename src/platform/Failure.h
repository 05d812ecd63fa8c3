#pragma once

#include <QMetaType>
#include <QString>

namespace kvp {

// Every failure a user can meet, worded in one place.
enum class Failure {
    none,
    portMissing,
    permissionDenied,
    portInUse,
    portSetup,     // the port opened but refused the line settings
    deviceRemoved, // the device went away while open
    writeFailed,
    invalidAddress,
    logFile,
};

// What failed and what to do about it. `device` names the port or file concerned;
// `detail` is the system's own wording, added where it helps.
QString failureMessage(Failure failure, const QString &device, const QString &detail = {});

} // namespace kvp

Q_DECLARE_METATYPE(kvp::Failure)
