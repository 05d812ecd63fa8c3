#include "StandardStreams.h"

#include <cerrno>
#include <initializer_list>
#include <fcntl.h>
#include <unistd.h>

namespace kvp {
namespace {

bool s_stdoutClosed = false;

} // namespace

void guardStandardStreams()
{
    // In order, so that open() hands out exactly the descriptor that is missing.
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            s_stdoutClosed = true;
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

bool stdoutWasClosed()
{
    return s_stdoutClosed;
}

int standardOutputDescriptor()
{
    return STDOUT_FILENO;
}

} // namespace kvp
