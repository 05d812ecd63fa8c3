#include "LogFileOpen.h"

#include <QFile>

#include <fcntl.h>

namespace kvp {

int openLogFile(const QString &path)
{
    // Without waiting: a FIFO nobody reads would hold open() for ever, saying nothing.
    // Then it fails with ENXIO, which the message words.
    return ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
}

} // namespace kvp
