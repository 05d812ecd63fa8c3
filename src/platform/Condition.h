#pragma once

#include <QMetaType>
#include <QString>

namespace kvp {

// Every state and failure a user can meet. The console and the window each word
// them in one function of their own: consoleText and windowText.
enum class Condition {
    none, // nothing to report: what was asked for worked

    // Where reading stands.
    ready,
    reading,
    stopped,
    simulatedModule, // the values come from the built-in simulated module

    // What the module's replies say.
    noAnswer,
    badCheck,
    echoOnLine,  // the bad replies begin with our own command: an RS-485 echo
    repliesLate, // replies come, but after the reply time-out

    // The serial port.
    portMissing,
    permissionDenied,
    portInUse,
    portSetup, // the port opened but refused the line settings
    deviceRemoved,
    writeFailed,
    portBack,

    // The user's input and the program's surroundings.
    invalidAddress,
    addressKept, // an invalid address was typed while reading; the last valid one is still read
    logFile,
    simulatorFailed,
    noDisplay,
    windowProgramMissing,
};

// What the words for a condition may name.
struct Facts {
    QString port; // the serial device
    int address = 0;
    QString file; // the value log, or the window's program
    QString detail; // the system's own wording of the failure, added where it helps
    bool simulated = false;
};

} // namespace kvp

Q_DECLARE_METATYPE(kvp::Condition)
