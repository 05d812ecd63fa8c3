#pragma once

#include "platform/ValueLog.h"

#include <QString>

#include <memory>

namespace kvp {

// A recording the user starts and stops from the window: the values shown, in the
// very lines of --log, counted. A line that cannot be written ends the recording,
// so that a full disk is noticed at once and not an hour later.
class Recording
{
public:
    // Appends to `path` (the header first if it is new). False, with the reason in
    // errorString(), when it cannot be opened.
    bool start(const QString &path);
    void stop();
    // False when the line could not be written: the recording has stopped, and
    // errorString() says why.
    bool add(int address, const QString &valueText, const ValueLog::Shown &shown = {});

    bool active() const { return m_log != nullptr; }
    qint64 rows() const { return m_rows; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    int error() const { return m_errno; } // errno of the call that failed

private:
    std::unique_ptr<ValueLog> m_log;
    QString m_path;
    QString m_error;
    int m_errno = 0;
    qint64 m_rows = 0;
};

} // namespace kvp
