#include "WindowProgram.h"

#include "WindowLanguage.h"
#include "ModuleListPanel.h"
#include "UnitsAndLimits.h"
#include "MqttControl.h"
#include "WindowExtras.h"
#include "WindowNotices.h"
#include "frmMain.h"

#include "app/CommandLine.h"
#include "app/ConsoleText.h"
#include "app/DefaultPort.h"
#include "app/DisplayCheck.h"
#include "app/QtMessageRouting.h"
#include "app/ReaderSetup.h"
#include "app/Remembered.h"
#include "platform/StderrLine.h"
#include "app/WindowText.h"
#include "platform/SignalWatcher.h"
#include "sim/SimulatedModule.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

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
    // Before any text is made, so that a message about the port is in the window's
    // language too. stderr is not translated: it stays English for scripts and logs.
    QTranslator translator;
    if (loadWindowTranslation(translator, QLocale::system()))
        QCoreApplication::installTranslator(&translator);
    QTranslator qtTranslator;
    if (loadQtTranslation(qtTranslator, QLocale::system()))
        QCoreApplication::installTranslator(&qtTranslator);
    const CommandLine line = CommandLine::parse(app.arguments());
    if (line.exitCode >= 0)
        return line.exitCode;
    const Remembered last = RememberedStore::load();
    Options options = withRemembered(line.options, last);
    // A port the user named must open, as before; one the program picked must not
    // keep the window from coming up, or a desktop start would be a dead end.
    const bool portNamed = !options.port.isEmpty() || options.simulate;
    if (!portNamed)
        options.port = defaultPort(serialPorts(), last.port);

    ReaderSetup setup(options, SimulatedModule::maker());
    if (setup.failure() != Condition::none) {
        WindowNotices::refuse(windowText(setup.failure(), setup.facts()));
        return 1;
    }
    frmMain window(setup.port(), setup.cycle());
    // SIGTERM or a closed terminal ends the window as its Close button does, so the
    // port is put back as it was found rather than left to the next reader half set
    // up. Watched before the port opens: a signal then is handled once the loop runs.
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &window, [&window] {
        window.close();
        QCoreApplication::quit(); // also ends a dialog that is open
    });
    window.setValueLog(setup.valueLog());
    window.setSimulated(setup.simulated());
    window.setAddressText(options.address);
    window.extras()->modules()->setAddresses(last.modules);
    // Units and limits on the command line are this run's, for every module.
    window.extras()->units()->restore(options.readout, options.readoutGiven ? options.readoutByAddress : last.readouts);
    window.extras()->restoreTrend(last);
    window.setRemembering(true);
    window.extras()->units()->setRemembering(true);
    // Ends before the window and its session, saying "offline".
    MqttControl mqtt(window.session(), window.statusRow(), window.statusMenu(), &window, options);
    // A port that cannot be opened, named or not, leaves the window up with the
    // reason on its status line and the port list one click away: a message box
    // whose OK ended the program was a dead end.
    if (!window.Form_Load(frmMain::OnPortFailure::carryOn))
        return 1;
    if (last.position && QGuiApplication::screenAt(*last.position))
        window.move(*last.position);
    window.show();
    return QApplication::exec();
}

} // namespace kvp
