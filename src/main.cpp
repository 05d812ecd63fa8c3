// kvp-reader: reads without a window itself, and hands the window over to a program
// of its own, so that reading on the console needs no GUI library at all.
#include "app/CommandLine.h"
#include "app/ConsoleProgram.h"
#include "app/ConsoleText.h"
#include "app/PortList.h"
#include "app/QtMessageRouting.h"
#include "platform/StandardStreams.h"
#include "platform/StderrLine.h"
#include "app/ScanProgram.h"
#include "app/WindowLauncher.h"
#include "platform/SystemErrorText.h"
#include "sim/SimulatedModule.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>

using namespace kvp;

int main(int argc, char **argv)
{
    guardStandardStreams();
    routeQtMessages();
    QCoreApplication::setApplicationName(QStringLiteral("kvp-reader"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVP_VERSION));
    QCoreApplication app(argc, argv);
    const CommandLine line = CommandLine::parse(app.arguments());
    if (line.exitCode >= 0)
        return line.exitCode;
    if (line.options.listPorts) {
        // A list that went nowhere is no list: a script would take "no ports" from it.
        if (std::fputs(qPrintable(portListing()), stdout) < 0 || std::fflush(stdout) != 0) {
            Facts facts;
            facts.detail = systemErrorText(errno);
            writeStderrLine(consoleText(Condition::portListFailed, facts));
            return 1;
        }
        return 0;
    }
    // The simulated module of --simulate is one port among others; this program has it.
    if (line.options.scan)
        return runScan(line.options, SimulatedModule::maker());
    if (line.options.console)
        return runConsole(line.options, SimulatedModule::maker());
    return execWindowProgram(argv);
}
