#include "WindowProgram.h"

#include "CommandLine.h"
#include "frmMain.h"
#include "ReaderSetup.h"

#include <QApplication>
#include <QMessageBox>

namespace kvp {

int runWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    const CommandLine line = CommandLine::parse(app.arguments());
    if (line.exitCode >= 0)
        return line.exitCode;
    const Options &options = line.options;

    ReaderSetup setup(options);
    if (!setup.isValid()) {
        QMessageBox::critical(nullptr, QStringLiteral("数据读取演示"), setup.errorString());
        return 1;
    }
    frmMain window(setup.port(), setup.cycle());
    window.setValueLog(setup.valueLog());
    window.setSimulated(options.simulate);
    window.setAddressText(options.address);
    if (!window.Form_Load())
        return 1;
    window.show();
    return QApplication::exec();
}

} // namespace kvp
