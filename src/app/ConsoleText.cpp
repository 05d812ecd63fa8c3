#include "ConsoleText.h"

#include "FileTrouble.h"
#include "network/NetworkAddress.h"

#include <QFileInfo>
#include <QStringList>

namespace kvp {
namespace {

QString withDetail(const QString &text, const Facts &facts)
{
    return facts.detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, facts.detail);
}

// Name the group that really owns the device; on Debian it is usually dialout.
QString owningGroup(const QString &device)
{
    const QString group = QFileInfo(device).group();
    return group.isEmpty() || group == QLatin1String("root") ? QStringLiteral("dialout") : group;
}

// What to do about a value log or recording that could not be written.
QString fileAdvice(const Facts &facts, FileTrouble otherwise)
{
    switch (fileTrouble(facts.error, otherwise)) {
    case FileTrouble::space:
        return QStringLiteral("Free some space, or choose another file.");
    case FileTrouble::access:
        return QStringLiteral("Choose a file in a folder you may write to.");
    case FileTrouble::noReader:
        return QStringLiteral("It is a FIFO and nothing reads it: start its reader first, or choose another file.");
    case FileTrouble::notAFile:
        return QStringLiteral("It does not take values (is it an ordinary file?): choose another file.");
    }
    return {};
}

} // namespace

QString secondsText(int milliseconds)
{
    const double s = milliseconds / 1000.0;
    return s < 10 ? QString::number(s, 'f', 1) : QString::number(qRound(s));
}

QString addressListText(const std::vector<int> &addresses)
{
    QStringList parts;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t end = i + 1;
        while (end < addresses.size() && addresses[end] == addresses[end - 1] + 1)
            ++end;
        if (end - i >= 3) {
            parts << QStringLiteral("%1-%2").arg(addresses[i]).arg(addresses[end - 1]);
            i = end;
        } else {
            parts << QString::number(addresses[i++]);
        }
    }
    return parts.join(QLatin1Char(','));
}

QString silentText(const std::vector<int> &addresses, const Facts &facts)
{
    const QString who = addresses.size() == 1
        ? QStringLiteral("address %1 on %2 does not answer").arg(addresses.front()).arg(facts.port)
        : QStringLiteral("addresses %1 on %2 do not answer").arg(addressListText(addresses), facts.port);
    const QString how = facts.count <= 1
        ? QStringLiteral("asking it every %1 s").arg(secondsText(facts.periodMs))
        : QStringLiteral("asking the %1 silent ones in turn, each every %2 s").arg(facts.count).arg(secondsText(facts.periodMs));
    const QString advice = addresses.size() == 1
        ? QStringLiteral("If it should, check its address, the wiring and its power.")
        : QStringLiteral("If they should, check their addresses, the wiring and their power.");
    return QStringLiteral("%1; %2. %3").arg(who, how, advice);
}

QString busReadingText(const std::vector<int> &addresses, const QString &port)
{
    return QStringLiteral("reading addresses %1 on %2 in turn").arg(addressListText(addresses), port);
}

QString consoleText(Condition condition, const Facts &facts)
{
    const QString where = QStringLiteral("address %1 on %2").arg(facts.address).arg(facts.port);
    switch (condition) {
    case Condition::none:
    case Condition::ready:
    case Condition::stopped:
    case Condition::connecting: // a failure is said when it comes, a success needs no words
        return {};
    case Condition::reading:
        return QStringLiteral("reading %1").arg(where);
    case Condition::simulatedModule:
        return QStringLiteral("reading a SIMULATED module on %1; the values are not real").arg(facts.port);
    case Condition::noAnswer:
        return QStringLiteral("no answer from the module at %1; check the address, the wiring and "
                              "the module's power. Still asking.").arg(where);
    case Condition::badCheck:
        return QStringLiteral("replies from %1 fail their check byte; check the wiring and the line's "
                              "noise. Still asking.").arg(where);
    case Condition::echoOnLine:
        return QStringLiteral("replies from %1 fail their check byte; they begin with our own command, "
                              "so the adapter echoes: try --echo. Still asking.").arg(where);
    case Condition::repliesCutShort:
        return QStringLiteral("replies from %1 stop partway, garbled: two modules may answer this address at once "
                              "(a collision), or the line loses bytes; check that no other module has this "
                              "address, and the wiring. Still asking.").arg(where);
    case Condition::repliesLate:
        return QStringLiteral("replies from %1 come after the time-out: try a longer --timeout").arg(where);
    case Condition::badTrailer:
        return QStringLiteral("replies from %1 pass their check byte but end otherwise than its replies did "
                              "(another length, or other bytes after the check byte); learning them anew. "
                              "Still asking.").arg(where);
    case Condition::timeoutGrown:
        return QStringLiteral("replies from %1 come after the time-out; waiting up to %2 ms for them from now "
                              "on (--timeout sets a time-out that stays)").arg(where).arg(facts.count);
    case Condition::moduleBackedOff:
        return silentText({facts.address}, facts);
    case Condition::moduleLate:
        return QStringLiteral("address %1 on %2 answers only after the time-out; asking it %3every %4 s, so that the "
                              "others keep their pace. A longer --timeout reads it in turn again.")
            .arg(facts.address)
            .arg(facts.port, facts.count > 1 ? QStringLiteral("in turn with the %1 silent or late ones, each ").arg(facts.count)
                                             : QString(),
                 secondsText(facts.periodMs));
    case Condition::moduleBack:
        return QStringLiteral("address %1 on %2 answers again").arg(facts.address).arg(facts.port);
    case Condition::aboveHigh:
        return QStringLiteral("address %1 above the high limit %2: %3").arg(facts.address).arg(facts.limit, facts.value);
    case Condition::belowLow:
        return QStringLiteral("address %1 below the low limit %2: %3").arg(facts.address).arg(facts.limit, facts.value);
    case Condition::withinLimits:
        return QStringLiteral("address %1 back within limits: %2").arg(facts.address).arg(facts.value);
    case Condition::scanGarbled:
        return QStringLiteral("answers from %1 on %2 failed their check byte: a module is there, but the line "
                              "is noisy or echoes. Check the wiring, or try --echo.").arg(facts.detail, facts.port);
    case Condition::scanLate:
        return QStringLiteral("answers from %1 on %2 came after the %3 ms time-out and were not taken: try a "
                              "longer --timeout.").arg(facts.detail, facts.port).arg(facts.count);
    case Condition::scanEveryAddress:
        return QStringLiteral("every address answered on %1: one module that answers whatever the address, or "
                              "a line that hands the commands back (try --echo). The list is not to be trusted.")
            .arg(facts.port);
    case Condition::portMissing:
        return withDetail(QStringLiteral("Serial port %1 does not exist. Check that the adapter is plugged in, "
                                         "and list the ports of this machine with --list-ports.")
                              .arg(facts.port), facts);
    case Condition::permissionDenied:
        return withDetail(QStringLiteral("No permission to open serial port %1. Add your user to the group '%2' "
                                         "that owns it (sudo adduser $USER %2), then log out and in again.")
                              .arg(facts.port, owningGroup(facts.port)), facts);
    case Condition::portInUse:
        return withDetail(QStringLiteral("Serial port %1 is in use by another program. Close that program "
                                         "(or the other kvp-reader) and try again.").arg(facts.port), facts);
    case Condition::portSetup:
        if (NetworkAddress::isServer(facts.port))
            return withDetail(QStringLiteral("Serial server %1 does not set its line to 19200 bit/s, even parity, 8 data "
                                             "bits, 1 stop bit. Set that port's line in the server's own configuration, "
                                             "or let it take the client's settings; once the line is set there, "
                                             "tcp:// reads it as well.").arg(facts.port), facts);
        return withDetail(QStringLiteral("Serial port %1 does not accept 19200 bit/s, even parity, 8 data bits, "
                                         "1 stop bit. Check that it is a serial port and its driver is working.")
                              .arg(facts.port), facts);
    case Condition::portIsTerminal:
        return QStringLiteral("%1 is a terminal, not a serial adapter; reading it would take the terminal over. "
                              "Give the serial adapter's device with --port (see --list-ports).").arg(facts.port);
    case Condition::portIsConsole:
        return QStringLiteral("%1 is the system console: the kernel writes its messages there and a login may "
                              "run on it, so it is never opened. Give the serial adapter's device with --port "
                              "(see --list-ports).").arg(facts.port);
    case Condition::pathTooLong:
        return withDetail(QStringLiteral("The device path given with --port is longer than this system allows. "
                                         "Give the device's short name, e.g. from --list-ports."), facts);
    case Condition::tooManyFiles:
        return withDetail(QStringLiteral("Cannot open serial port %1: no file descriptor is left. Close other "
                                         "programs, or raise the limit (ulimit -n), and try again.")
                              .arg(facts.port), facts);
    case Condition::deviceRemoved:
        return withDetail(QStringLiteral("Serial port %1 went away while it was open (adapter unplugged?). "
                                         "Waiting for it to come back: plug it in again.").arg(facts.port), facts);
    case Condition::writeFailed:
        return withDetail(QStringLiteral("Could not send on serial port %1. Check the cable and the adapter; "
                                         "waiting for the port to work again.").arg(facts.port), facts);
    case Condition::portBack:
        if (NetworkAddress::isServer(facts.port))
            return QStringLiteral("the connection to %1 is back; reading again").arg(facts.port);
        return QStringLiteral("serial port %1 is back; reading again").arg(facts.port);
    case Condition::portChanged:
        return QStringLiteral("%1 is back, but as another device than the one read before; it is left alone. "
                              "Plug the module's adapter in again, or start kvp-reader again to read the new "
                              "device.").arg(facts.port);
    case Condition::gaveUp:
        if (NetworkAddress::isServer(facts.port))
            return QStringLiteral("the serial server at %1 was not back within %2 s (--give-up); giving up. Check the "
                                  "server and the network, and start kvp-reader again.").arg(facts.port).arg(facts.count);
        return QStringLiteral("serial port %1 did not come back within %2 s (--give-up); giving up. Check the "
                              "adapter and start kvp-reader again.").arg(facts.port).arg(facts.count);
    case Condition::gaveUpOnOther:
        return QStringLiteral("serial port %1 is another device now, and the one read before did not come back "
                              "within %2 s (--give-up); giving up. Plug the module's adapter in again, or start "
                              "kvp-reader again to read the new device.").arg(facts.port).arg(facts.count);
    case Condition::badServerAddress:
        return QStringLiteral("%1 is not a serial server's address: %2").arg(facts.port, facts.detail);
    case Condition::connectionRefused:
        return withDetail(QStringLiteral("The serial server at %1 refused the connection: nothing listens at that "
                                         "port. Check the port number and that the server is running.")
                              .arg(facts.port), facts);
    case Condition::hostNotFound:
        return withDetail(QStringLiteral("The host of %1 is not known. Check the host name, or give the server's IP "
                                         "address.").arg(facts.port), facts);
    case Condition::connectTimedOut:
        return withDetail(QStringLiteral("No answer from the serial server at %1. Check the address, that the server "
                                         "is on, and that no firewall is in between.").arg(facts.port), facts);
    case Condition::notComPortServer:
        return withDetail(QStringLiteral("The server at %1 does not let the reader set its serial line (RFC 2217, "
                                         "Telnet COM port control). Turn that on for its port, or set the server's "
                                         "line to 19200 bit/s, 8 data bits, even parity, 1 stop bit and use tcp:// "
                                         "instead.").arg(facts.port), facts);
    case Condition::networkFailed:
        return withDetail(QStringLiteral("Cannot connect to the serial server at %1. Check the address and the "
                                         "server.").arg(facts.port), facts);
    case Condition::connectionLost:
        return withDetail(QStringLiteral("The connection to the serial server at %1 was lost. Reconnecting, every "
                                         "0.5 s at first, then every 5 s.").arg(facts.port), facts);
    case Condition::invalidAddress:
        return QStringLiteral("the KV-P address must be a number from 0 to 31");
    case Condition::addressKept:
        return QStringLiteral("the address typed is not valid; still reading address %1").arg(facts.address);
    case Condition::logFile:
        return withDetail(QStringLiteral("Cannot write the value log %1. %2")
                              .arg(facts.file, fileAdvice(facts, FileTrouble::access)), facts);
    case Condition::logWriteFailed:
        return withDetail(QStringLiteral("Cannot write to the value log %1; the log ends with its last whole row. %2")
                              .arg(facts.file, fileAdvice(facts, FileTrouble::space)), facts);
    case Condition::stdoutClosed:
        return QStringLiteral("standard output is closed, so the values would go nowhere. Redirect it to a "
                              "file, or to /dev/null when --log keeps the values.");
    case Condition::stdoutFailed:
        return withDetail(QStringLiteral("Cannot write the values to standard output; stopped reading. Check "
                                         "where standard output goes (a full disk?)."), facts);
    case Condition::portListFailed:
        return withDetail(QStringLiteral("Cannot write the list of serial ports to standard output. Check where "
                                         "standard output goes (a full disk?)."), facts);
    case Condition::stdoutBroken:
        return QStringLiteral("the program reading standard output has gone; stopped reading");
    case Condition::outputPaused:
        return QStringLiteral("%1 is not taking the values; reading waits until it does, so no value is lost")
            .arg(facts.file.isEmpty() ? QStringLiteral("standard output")
                                      : QStringLiteral("the value log %1").arg(facts.file));
    case Condition::outputDropped:
        return (facts.count == 1 ? QStringLiteral("1 value read was")
                                 : QStringLiteral("%1 values read were").arg(facts.count))
            + QStringLiteral(" not yet taken by %1 when the run ended; they are lost")
                  .arg(facts.file.isEmpty() ? QStringLiteral("standard output")
                                            : QStringLiteral("the value log %1").arg(facts.file));
    case Condition::recordingFailed:
        return withDetail(QStringLiteral("Recording to %1 stopped: a value could not be written. %2 Then record "
                                         "again.").arg(facts.file, fileAdvice(facts, FileTrouble::space)), facts);
    case Condition::exportFailed:
        return QStringLiteral("Could not save %1 (%2). Choose another file.").arg(facts.file, facts.detail);
    case Condition::noModuleFound:
        return QStringLiteral("no module answered on %1 at any address from 0 to 31; check the wiring, the "
                              "module's power and --echo").arg(facts.port);
    case Condition::simulatorFailed:
        return withDetail(QStringLiteral("Cannot start the simulated module."), facts);
    case Condition::noDisplay:
        return QStringLiteral("no display: set DISPLAY, or use --console");
    case Condition::windowProgramMissing:
        return withDetail(QStringLiteral("cannot start the window program %1; reinstall kvp-reader, or use "
                                         "--console").arg(facts.file), facts);
    }
    return {};
}

} // namespace kvp
