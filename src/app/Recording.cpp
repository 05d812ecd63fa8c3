#include "Recording.h"

namespace kvp {

bool Recording::start(const QString &path)
{
    stop();
    auto log = std::make_unique<ValueLog>();
    m_path = path;
    m_rows = 0;
    if (!log->open(path)) {
        m_error = log->errorString();
        m_errno = log->error();
        return false;
    }
    m_error.clear();
    m_errno = 0;
    m_log = std::move(log);
    return true;
}

void Recording::stop()
{
    m_log.reset(); // closes the file: every line is already in it
}

bool Recording::add(int address, const QString &valueText, const ValueLog::Shown &shown)
{
    if (!m_log)
        return false;
    if (!m_log->append(address, valueText, shown)) {
        m_error = m_log->errorString();
        m_errno = m_log->error();
        stop();
        return false;
    }
    ++m_rows;
    return true;
}

} // namespace kvp
