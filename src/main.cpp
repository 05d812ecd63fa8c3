#include "platform/Failure.h"
#include "sim/SimulatedModule.h"
#include "ui/CommandLine.h"
#include "ui/ConsoleFrontEnd.h"
#include "ui/PortList.h"
#include "ui/ReadSession.h"
#include "ui/WindowProgram.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

using namespace kvp;

namespace {

int runConsole(const Options &options)
{
    std::unique_ptr<SimulatedModule> simulated;
    PortSettings port;
    if (options.simulate) {
        simulated = std::make_unique<SimulatedModule>(SimulatorSettings{.address = options.address.toInt()});
        if (!simulated->isValid()) {
            std::fprintf(stderr, "kvp-reader: cannot start the simulated module: %s\n",
                         qPrintable(simulated->errorString()));
            return 1;
        }
        port.portName = simulated->devicePath();
        std::fprintf(stderr, "kvp-reader: reading a SIMULATED module on %s; the values are not real\n",
                     qPrintable(port.portName));
    } else if (!options.port.isEmpty()) {
        port.portName = options.port;
    }

    CycleSettings cycle;
    cycle.replyTimeout = milliseconds(options.timeoutMs);
    cycle.dropEcho = options.echo;
    ReadSession session(port, cycle);
    session.setAddressText(options.address);
    if (const Failure failure = session.open(); failure != Failure::none) {
        std::fprintf(stderr, "kvp-reader: %s\n", qPrintable(session.failureText(failure)));
        return 1;
    }
    ConsoleFrontEnd console(session, options.count);
    console.start();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("kvp-reader"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVP_VERSION));
    if (!CommandLine::wantsConsole(argc, argv))
        return runWindow(argc, argv);

    QCoreApplication app(argc, argv);
    const CommandLine line = CommandLine::parse(app.arguments());
    if (line.exitCode >= 0)
        return line.exitCode;
    if (line.options.listPorts) {
        std::fputs(qPrintable(portListing()), stdout);
        return 0;
    }
    return runConsole(line.options);
}
