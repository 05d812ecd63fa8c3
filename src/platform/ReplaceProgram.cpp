#include "ReplaceProgram.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kvp {

QString replaceProgram(const QString &path, char **argv)
{
    const QByteArray file = QFile::encodeName(path);
    argv[0] = const_cast<char *>(file.constData());
    ::execv(file.constData(), argv);
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace kvp
