#pragma once

#include <QFile>
#include <QString>

namespace kvp {

// Good values as CSV lines: local time (ISO 8601, milliseconds, UTC offset), the
// module's address, the value. Each line goes to the file as it is written, so a
// crash loses nothing that was logged.
class ValueLog
{
public:
    // Appends to `path`, writing the header line first when the file is new or empty.
    // False, with the system's reason in errorString(), when it cannot be written.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }

    // False when the line did not reach the file whole (a full disk, a removed
    // drive): errorString() says why.
    bool append(int address, const QString &valueText);

private:
    QFile m_file;
};

} // namespace kvp
