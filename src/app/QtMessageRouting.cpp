#include "QtMessageRouting.h"

#include "platform/StderrLine.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdlib>

namespace kvp {
namespace {

void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Qt's remark on the environment, not the program's: it uses a folder of its own
    // instead and nothing fails. Shown as ours it read like a fault of the reader.
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    // A message of several lines would leave all but the first without our name.
    const QStringList lines = message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        writeStderrLine(line.trimmed());
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void routeQtMessages()
{
    qInstallMessageHandler(handler);
}

} // namespace kvp
