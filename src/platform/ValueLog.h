#pragma once

#include <QByteArray>
#include <QString>

namespace kvp {

// Good values as CSV lines: local time (ISO 8601, milliseconds, UTC offset), the
// module's address, the value. Each line goes to the file as it is written, so a
// crash loses nothing that was logged, and a line goes whole or not at all.
class ValueLog
{
public:
    ValueLog() = default;
    ~ValueLog();
    ValueLog(const ValueLog &) = delete;
    ValueLog &operator=(const ValueLog &) = delete;

    // Appends to `path`, writing the header line first when the file is new or empty.
    // False, with the system's reason in errorString(), when it cannot be written.
    bool open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // The file opened, but a write to it failed (a full disk, not a bad path).
    bool writeFailed() const { return m_writeFailed; }

    // False when the line could not be written whole (a full disk, a file size
    // limit); the file then ends with the last whole line where it can be cut back.
    // Nothing more is written after a failure.
    bool append(int address, const QString &valueText);
    // Closes the file; false when the system reports a late write error.
    bool close();

private:
    bool writeWhole(const QByteArray &line);

    int m_fd = -1;
    QString m_path;
    QString m_error;
    bool m_writeFailed = false;
};

} // namespace kvp
