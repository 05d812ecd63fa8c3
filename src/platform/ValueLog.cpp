#include "ValueLog.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {
namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ValueLog::~ValueLog()
{
    close();
}

bool ValueLog::open(const QString &path)
{
    close();
    m_path = path;
    // No buffer of ours: every line is one write to the file, never held back in memory.
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && st.st_size == 0 && !writeWhole("time,address,value\n")) {
        close();
        return false;
    }
    return true;
}

bool ValueLog::append(int address, const QString &valueText)
{
    if (m_fd < 0)
        return false;
    QDateTime now = QDateTime::currentDateTime();
    now.setOffsetFromUtc(now.offsetFromUtc()); // so the text carries the offset
    return writeWhole(now.toString(Qt::ISODateWithMs).toLatin1() + ',' + QByteArray::number(address) + ','
                      + valueText.toLatin1() + '\n');
}

bool ValueLog::writeWhole(const QByteArray &line)
{
    struct stat st {};
    const bool file = ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode);
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : ENOSPC;
        m_error = systemError(error);
        m_writeFailed = true;
        // Part of the line is in the file: cut it back, so the log ends with a whole row.
        if (done > 0 && file)
            (void)!::ftruncate(m_fd, st.st_size);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool ValueLog::close()
{
    if (m_fd < 0)
        return true;
    const int result = ::close(m_fd);
    m_fd = -1;
    if (result != 0 && errno != EINTR) {
        m_error = systemError(errno);
        return false;
    }
    return true;
}

} // namespace kvp
