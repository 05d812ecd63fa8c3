#include "QtMessageRouting.h"

#include "StderrLine.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdlib>

namespace kvp {
namespace {

void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
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
