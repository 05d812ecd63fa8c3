#include "ReplaceProgram.h"

#include "SystemErrorText.h"

#include <QFile>

#include <cerrno>
#include <unistd.h>

namespace kvp {

QString replaceProgram(const QString &path, char **argv)
{
    const QByteArray file = QFile::encodeName(path);
    argv[0] = const_cast<char *>(file.constData());
    ::execv(file.constData(), argv);
    return systemErrorText(errno);
}

} // namespace kvp
