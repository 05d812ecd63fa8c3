#include "OutputChannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {

OutputChannel::OutputChannel(int fd, QObject *parent) : QObject(parent), m_fd(fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))
        return; // files take what they are given; a full disk fails the write, it does not wait
    // A pipe or a terminal can stall. The non-blocking flag belongs to the open file,
    // which the shell and its other programs may share (a terminal): open our own
    // description of it, and only when that cannot be, set the flag and put it back.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    m_ownFd = ::open(self.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_ownFd >= 0) {
        m_fd = m_ownFd;
    } else if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0 && !(flags & O_NONBLOCK)) {
        if (::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0)
            m_restoreFlags = flags;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &OutputChannel::flush);
}

OutputChannel::~OutputChannel()
{
    if (m_restoreFlags >= 0)
        ::fcntl(m_fd, F_SETFL, m_restoreFlags);
    if (m_ownFd >= 0)
        ::close(m_ownFd);
}

void OutputChannel::write(const QByteArray &bytes)
{
    const bool waiting = !m_pending.isEmpty();
    m_pending += bytes;
    if (!waiting)
        flush();
}

void OutputChannel::flush()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && m_notifier) {
            m_notifier->setEnabled(true);
            return;
        }
        const int error = n < 0 ? errno : EIO;
        m_pending.clear();
        if (m_notifier)
            m_notifier->setEnabled(false);
        emit failed(error);
        return;
    }
    if (m_notifier)
        m_notifier->setEnabled(false);
    emit drained();
}

} // namespace kvp
