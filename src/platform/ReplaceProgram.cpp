#include "ReplaceProgram.h"

#include <cerrno>
#include <unistd.h>

namespace kvp {

int replaceProgram(const QByteArray &path, char **argv)
{
    ::execv(path.constData(), argv);
    return errno;
}

} // namespace kvp
