#include "StderrLine.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace kvp {

void writeStderrLine(const QString &text)
{
    const QByteArray line = "kvp-reader: " + text.toLocal8Bit() + '\n';
    // A standard error nobody reads must not hold the program: a termination signal
    // has to end it within a second. A line waits a fifth of a second at most.
    pollfd ready{STDERR_FILENO, POLLOUT, 0};
    if (::poll(&ready, 1, 200) != 1 || !(ready.revents & POLLOUT))
        return;
    // Short lines, one write each, go to a pipe whole.
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, size_t(line.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

} // namespace kvp
