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
    badTrailer,  // replies pass their check byte but end otherwise than the module's did
    repliesCutShort, // replies come but stop partway: a collision of two modules at one address, or lost bytes
    timeoutGrown, // replies came after the time-out, so it was made longer (count: ms)
    moduleBackedOff, // on a bus: the module does not answer and is asked in the silent ones' turn (count: how
                     // many share it, detail: how often each is asked)
    moduleLate,      // on a bus: the module answers only after its fixed time-out, and is asked as the silent are
    moduleBack,      // on a bus: the module answers again
    scanGarbled,  // the search heard garbled answers at these addresses (detail)
    scanLate,     // the search heard answers after the time-out at these addresses (detail)
    scanEveryAddress, // every address answered: one module answers them all, or an echo
    aboveHigh,    // the module's value went above its high limit (value, limit)
    belowLow,     // the module's value went below its low limit (value, limit)
    withinLimits, // the module's value is back within its limits (value)

    // The serial port.
    portMissing,
    permissionDenied,
    portInUse,
    portSetup, // the port opened but refused the line settings
    portIsTerminal, // the path is a terminal of ours or the console, not a serial adapter
    portIsConsole,  // the path is the kernel's system console (console/active), often ttyS0
    pathTooLong,
    tooManyFiles, // the process or the system has no file descriptor left
    deviceRemoved,
    writeFailed,
    portBack,
    portChanged, // another device now answers to the path; it is left alone
    gaveUp,      // the device did not come back within --give-up
    gaveUpOnOther, // within --give-up only another device came back at the path

    // A serial server on the network (--port tcp://HOST:PORT or rfc2217://HOST:PORT).
    badServerAddress,  // a typed address that is no HOST:PORT with a known scheme (detail: what is wrong)
    connectionRefused, // nothing listens at that port
    hostNotFound,
    connectTimedOut,
    notComPortServer,  // rfc2217://, but the server does not take the COM port option
    networkFailed,     // any other failure to connect (detail)
    connecting,        // the connection is being made; Link::opened() says how it went
    connectionLost,    // the open connection dropped; reconnecting

    // The user's input and the program's surroundings.
    invalidAddress,
    addressKept, // an invalid address was typed while reading; the last valid one is still read
    logFile,
    logWriteFailed, // the value log stopped taking rows (full disk)
    stdoutClosed,   // standard output was not open when the program started
    stdoutFailed,   // writing the values to standard output failed
    stdoutBroken,   // the reader of standard output went away
    portListFailed, // the list of ports could not be written to standard output
    outputPaused,   // standard output is not taken; queries wait until it is
    outputDropped,  // values still waiting for standard output at the end
    recordingFailed, // a recording started from the window could not be written on
    exportFailed,    // the trend's picture or data could not be saved to the file chosen (detail: why)
    noModuleFound,   // the search asked every address and none answered
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
    int error = 0;  // errno of the call that failed, where the advice depends on it
    int count = 0;  // values, or seconds, that the words give a number for
    int periodMs = 0; // how often something is done, where the words say it
    bool simulated = false;
    QString value; // a module's value as shown, with its unit
    QString limit; // the limit it crossed, with its unit
};

} // namespace kvp

Q_DECLARE_METATYPE(kvp::Condition)
