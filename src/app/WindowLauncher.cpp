#include "WindowLauncher.h"

#include "ConsoleText.h"
#include "DisplayCheck.h"
#include "platform/ReplaceProgram.h"
#include "platform/StderrLine.h"

#include <QCoreApplication>

namespace kvp {

int execWindowProgram(char **argv)
{
    // Qt would abort with a page about platform plug-ins; one line says it better.
    if (!displayAvailable()) {
        writeStderrLine(consoleText(Condition::noDisplay, {}));
        return 1;
    }
    // The same place relative to this program in the build tree and where installed.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/" KVP_WINDOW_PROGRAM);
    Facts facts;
    facts.detail = replaceProgram(program, argv);
    facts.file = program;
    writeStderrLine(consoleText(Condition::windowProgramMissing, facts));
    return 1;
}

} // namespace kvp
