#include "ScanProgram.h"

#include "ConsoleText.h"
#include "ReaderSetup.h"
#include "ScanSession.h"
#include "StderrLine.h"
#include "platform/SignalWatcher.h"
#include "serial/SerialLink.h"

#include <QCoreApplication>

#include <cstdio>

namespace kvp {

int runScan(const Options &options)
{
    ReaderSetup setup(options);
    if (setup.failure() != Condition::none) {
        writeStderrLine(consoleText(setup.failure(), setup.facts()));
        return 1;
    }
    Facts facts = setup.facts();
    facts.port = setup.port().portName;
    SerialLink link;
    if (const Condition failure = link.InitPort(setup.port()); failure != Condition::none) {
        facts.detail = link.errorDetail();
        writeStderrLine(consoleText(failure, facts));
        return 1;
    }

    ScanSession scan(link, ScanSettings{.dropEcho = options.echo});
    int exitCode = 1;
    QObject::connect(&scan, &ScanSession::found, [](int address, const QString &value) {
        // Each as soon as it is known, so that a script can stop at the first.
        std::printf("%d %s\n", address, qPrintable(value));
        std::fflush(stdout);
    });
    QObject::connect(&scan, &ScanSession::portFailed, [&](Condition failure) {
        facts.detail = link.errorDetail();
        writeStderrLine(consoleText(failure, facts));
    });
    QObject::connect(&scan, &ScanSession::finished, [&] {
        if (!scan.cycle().found().empty() && link.isOpen())
            exitCode = 0;
        else if (link.isOpen())
            writeStderrLine(consoleText(Condition::noModuleFound, facts));
        QCoreApplication::exit(exitCode);
    });
    // A signal ends the scan at once, the port closed and put back as it was found;
    // the status says whether anything answered so far.
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, [&] {
        exitCode = scan.cycle().found().empty() ? 1 : 0;
        QCoreApplication::exit(exitCode);
    });
    scan.start();
    QCoreApplication::exec();
    return exitCode;
}

} // namespace kvp
