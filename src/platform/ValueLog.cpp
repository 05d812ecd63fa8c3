#include "ValueLog.h"

#include "LogFileOpen.h"
#include "OutputChannel.h"
#include "SystemErrorText.h"

#include <QDateTime>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {
namespace {

// A unit is typed by the user: "kg", but also "N, net" or "°C".
QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') && !field.contains('\r'))
        return field;
    return '"' + field.replace('"', "\"\"") + '"';
}

} // namespace

ValueLog::ValueLog() = default;

ValueLog::~ValueLog()
{
    close();
}

bool ValueLog::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();
    m_errno = 0;
    m_writeFailed = false;
    m_fd = openLogFile(path);
    if (m_fd < 0) {
        const int error = errno;
        m_errno = error;
        m_error = systemErrorText(error);
        return false;
    }
    struct stat st {};
    const bool stated = ::fstat(m_fd, &st) == 0;
    if (stated && !S_ISREG(st.st_mode)) {
        // No buffer of ours for a file; a pipe or a device gets the queue standard output has.
        m_channel = std::make_unique<OutputChannel>(m_fd);
        QObject::connect(m_channel.get(), &OutputChannel::failed, [this](int error) { fail(error); });
    }
    if (stated && st.st_size == 0 && !writeWhole("time,address,value,scaled,unit,limit\n")) {
        const QString error = m_error;
        close();
        m_error = error;
        return false;
    }
    return true;
}

bool ValueLog::append(int address, const QString &valueText, const Shown &shown)
{
    if (m_fd < 0 || m_writeFailed)
        return false;
    QDateTime now = QDateTime::currentDateTime();
    now.setOffsetFromUtc(now.offsetFromUtc()); // so the text carries the offset
    return writeWhole(now.toString(Qt::ISODateWithMs).toLatin1() + ',' + QByteArray::number(address) + ','
                      + valueText.toLatin1() + ',' + (shown.scaled.isEmpty() ? valueText : shown.scaled).toLatin1()
                      + ',' + csvField(shown.unit) + ',' + shown.limit.toLatin1() + '\n');
}

void ValueLog::fail(int error)
{
    m_errno = error;
    m_error = systemErrorText(error);
    m_writeFailed = true;
}

bool ValueLog::writeWhole(const QByteArray &line)
{
    if (m_channel) {
        // The console pauses reading long before this; the window does not, and a
        // reader that stopped taking lines must not make them pile up for ever.
        if (m_channel->pending() >= kMostQueued) {
            fail(EAGAIN);
            return false;
        }
        m_channel->write(line);
        return !m_writeFailed; // a write that failed at once says so now
    }
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
        fail(n < 0 ? errno : ENOSPC);
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
    m_channel.reset();
    if (m_fd < 0)
        return true;
    const int result = ::close(m_fd);
    const int error = errno;
    m_fd = -1;
    if (result != 0 && error != EINTR) {
        m_errno = error;
        m_error = systemErrorText(error);
        return false;
    }
    return true;
}

} // namespace kvp
