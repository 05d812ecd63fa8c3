#include "ScanProgram.h"

#include "ConsoleText.h"
#include "MakeLink.h"
#include "ReaderSetup.h"
#include "ScanSession.h"
#include "platform/StderrLine.h"
#include "platform/SignalWatcher.h"
#include "network/NetworkAddress.h"
#include "network/NetworkLink.h"
#include "platform/Link.h"
#include "platform/StandardStreams.h"
#include "platform/SystemErrorText.h"
#include "protocol/ReplyEvaluation.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kvp {
namespace {

// "address 5", "addresses 5, 9 and 12"
QString addressList(const std::vector<int> &addresses)
{
    QStringList names;
    for (const int a : addresses)
        names << QString::number(a);
    const QString last = names.takeLast();
    return names.isEmpty() ? QStringLiteral("address %1").arg(last)
                           : QStringLiteral("addresses %1 and %2").arg(names.join(QStringLiteral(", ")), last);
}

void tellAddresses(Condition condition, const std::vector<int> &addresses, Facts facts)
{
    if (addresses.empty())
        return;
    facts.detail = addressList(addresses);
    writeStderrLine(consoleText(condition, facts));
}

// The time-out the answers last named were late for: the second pass's, if any.
milliseconds lastTimeout(const ScanSettings &settings)
{
    return settings.retryTimeout.count() > 0 ? settings.retryTimeout : settings.answerTimeout;
}

} // namespace

int runScan(const Options &options, const SimulatedPortMaker &simulated)
{
    if (stdoutWasClosed()) {
        // The addresses found would go nowhere, and the status would say they were found.
        writeStderrLine(consoleText(Condition::stdoutClosed, {}));
        return 1;
    }
    ReaderSetup setup(options, simulated);
    if (setup.failure() != Condition::none) {
        writeStderrLine(consoleText(setup.failure(), setup.facts()));
        return 1;
    }
    Facts facts = setup.facts();
    facts.port = setup.port().portName;
    // Watched before the port opens: a signal that comes meanwhile is handled once
    // the loop runs, rather than killing the scan with the port half set up.
    SignalWatcher signalWatcher;
    const std::unique_ptr<Link> port = makeLink(setup.port().portName);
    Link &link = *port;
    const Condition opening = link.InitPort(setup.port());
    if (opening != Condition::none && opening != Condition::connecting) {
        facts.detail = link.errorDetail();
        writeStderrLine(consoleText(opening, facts));
        return 1;
    }

    ScanSettings settings = ScanSettings::like(setup.cycle());
    if (NetworkAddress::isServer(setup.port().portName))
        settings.byteGap = std::max<milliseconds>(settings.byteGap, NetworkLink::kByteGap);
    ScanSession scan(link, settings);
    int exitCode = 1;
    bool outputLost = false;
    const auto print = [&](int address, const QString &value) {
        if (std::printf("%d %s\n", address, qPrintable(value)) < 0 || std::fflush(stdout) != 0) {
            if (!outputLost) {
                facts.detail = systemErrorText(errno);
                writeStderrLine(consoleText(Condition::stdoutFailed, facts));
            }
            outputLost = true;
            scan.cancel();
        }
    };
    // Each as soon as it is known, so that a script can stop at the first.
    QObject::connect(&scan, &ScanSession::found, print);
    QObject::connect(&scan, &ScanSession::portFailed, [&](Condition failure) {
        facts.detail = link.errorDetail();
        writeStderrLine(consoleText(failure, facts));
    });
    QObject::connect(&scan, &ScanSession::finished, [&] {
        const ScanCycle &result = scan.cycle();
        if (link.isOpen() && !outputLost) {
            facts.detail.clear();
            tellAddresses(Condition::scanGarbled, result.garbled(), facts);
            facts.count = static_cast<int>(result.late().size() > 0 ? lastTimeout(settings).count() : 0);
            tellAddresses(Condition::scanLate, result.late(), facts);
            if (result.everyAddressAnswered())
                writeStderrLine(consoleText(Condition::scanEveryAddress, facts));
            if (!result.found().empty())
                exitCode = 0;
            else
                writeStderrLine(consoleText(Condition::noModuleFound, facts));
        }
        QCoreApplication::exit(exitCode);
    });
    // A signal ends the scan at once, the port closed and put back as it was found;
    // the status says whether anything answered so far.
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, [&] {
        // An answer the second pass had yet to ask again is still an answer heard.
        const std::vector<ScanAnswer> heard = scan.cycle().running() ? scan.cycle().unconfirmed() : std::vector<ScanAnswer>{};
        for (const ScanAnswer &answer : heard)
            if (!outputLost)
                print(answer.address, QString::fromStdString(ValueText(answer.value)));
        exitCode = (scan.cycle().found().empty() && heard.empty()) || outputLost ? 1 : 0;
        QCoreApplication::exit(exitCode);
    });
    // A serial server: the search starts once the connection is made.
    QObject::connect(&link, &Link::opened, &scan, [&](Condition outcome) {
        if (outcome == Condition::none) {
            scan.start();
            return;
        }
        facts.detail = link.errorDetail();
        writeStderrLine(consoleText(outcome, facts));
        QCoreApplication::exit(1);
    });
    if (opening == Condition::none)
        scan.start();
    QCoreApplication::exec();
    return exitCode;
}

} // namespace kvp
