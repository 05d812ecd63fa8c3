#include "ConsoleProgram.h"

#include "ConsoleFrontEnd.h"
#include "ConsoleText.h"
#include "ReadSession.h"
#include "ReaderSetup.h"
#include "platform/StandardStreams.h"
#include "platform/StderrLine.h"

#include <QCoreApplication>

namespace kvp {

int runConsole(const Options &options, const SimulatedPortMaker &simulated)
{
    if (stdoutWasClosed()) {
        writeStderrLine(consoleText(Condition::stdoutClosed, {}));
        return 1;
    }
    ReaderSetup setup(options, simulated);
    if (setup.failure() != Condition::none) {
        writeStderrLine(consoleText(setup.failure(), setup.facts()));
        return 1;
    }
    if (setup.simulated())
        writeStderrLine(consoleText(Condition::simulatedModule, setup.facts()));
    ReadSession session(setup.port(), setup.cycle());
    session.setValueLog(setup.valueLog());
    session.setReadoutDefaults(options.readout);
    for (const auto &[address, settings] : options.readoutByAddress)
        session.setReadout(address, settings);
    session.setAddressText(options.address);
    if (options.bus.size() > 1)
        session.setBus(options.bus);
    // Before the port opens, so that its signal handling is in place by then.
    ConsoleFrontEnd console(session, options.count, options.giveUpSeconds, setup.valueLog());
    if (const Condition failure = session.open(); failure != Condition::none) {
        writeStderrLine(consoleText(failure, session.facts()));
        return 1;
    }
    console.start();
    return QCoreApplication::exec();
}

} // namespace kvp
