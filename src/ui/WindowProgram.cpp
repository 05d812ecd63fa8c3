#include "WindowProgram.h"

#include "frmMain.h"

#include "app/CommandLine.h"
#include "app/ConsoleText.h"
#include "app/DisplayCheck.h"
#include "app/QtMessageRouting.h"
#include "app/ReaderSetup.h"
#include "app/StderrLine.h"
#include "app/WindowText.h"

#include <QApplication>
#include <QMessageBox>

namespace kvp {

int runWindow(int argc, char **argv)
{
    routeQtMessages();
    if (!displayAvailable()) {
        writeStderrLine(consoleText(Condition::noDisplay, {}));
        return 1;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvp-reader"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVP_VERSION));
    const CommandLine line = CommandLine::parse(app.arguments());
    if (line.exitCode >= 0)
        return line.exitCode;
    const Options &options = line.options;

    ReaderSetup setup(options);
    if (setup.failure() != Condition::none) {
        const WindowText text = windowText(setup.failure(), setup.facts());
        QMessageBox::critical(nullptr, text.title, text.message);
        return 1;
    }
    frmMain window(setup.port(), setup.cycle());
    window.setValueLog(setup.valueLog());
    window.setSimulated(setup.simulated());
    window.setAddressText(options.address);
    if (!window.Form_Load())
        return 1;
    window.show();
    return QApplication::exec();
}

} // namespace kvp
