#include "ConsoleProgram.h"

#include "ConsoleFrontEnd.h"
#include "ConsoleText.h"
#include "ReadSession.h"
#include "ReaderSetup.h"
#include "StderrLine.h"

#include <QCoreApplication>

namespace kvp {

int runConsole(const Options &options)
{
    ReaderSetup setup(options);
    if (setup.failure() != Condition::none) {
        writeStderrLine(consoleText(setup.failure(), setup.facts()));
        return 1;
    }
    if (setup.simulated())
        writeStderrLine(consoleText(Condition::simulatedModule, setup.facts()));
    ReadSession session(setup.port(), setup.cycle());
    session.setValueLog(setup.valueLog());
    session.setAddressText(options.address);
    if (const Condition failure = session.open(); failure != Condition::none) {
        writeStderrLine(consoleText(failure, session.facts()));
        return 1;
    }
    ConsoleFrontEnd console(session, options.count);
    console.start();
    return QCoreApplication::exec();
}

} // namespace kvp
