#include "platform/Failure.h"
#include "ui/CommandLine.h"
#include "ui/ConsoleFrontEnd.h"
#include "ui/PortList.h"
#include "ui/ReadSession.h"
#include "ui/ReaderSetup.h"
#include "ui/WindowProgram.h"

#include <QCoreApplication>

#include <cstdio>

using namespace kvp;

namespace {

int runConsole(const Options &options)
{
    ReaderSetup setup(options);
    if (!setup.isValid()) {
        std::fprintf(stderr, "kvp-reader: %s\n", qPrintable(setup.errorString()));
        return 1;
    }
    if (setup.simulated())
        std::fprintf(stderr, "kvp-reader: reading a SIMULATED module on %s; the values are not real\n",
                     qPrintable(setup.port().portName));
    ReadSession session(setup.port(), setup.cycle());
    session.setValueLog(setup.valueLog());
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
