#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace kvp {

class OutputChannel;

// Good values as CSV lines: local time (ISO 8601, milliseconds, UTC offset), the
// module's address, the value as the module sent it, then the value as shown (scaled),
// its unit and the limit it is beyond ("high", "low", or nothing). The columns of
// the shown value came later and stand at the end, so that readers of the first
// three read on; a unit stands in each row, as each module on a bus may have its own. Each line goes to the file as it is written, so a
// crash loses nothing that was logged, and a line goes whole or not at all.
//
// A log that can stall (a FIFO, a terminal, a device) never holds the program up:
// it is opened without waiting for a reader, and its lines wait in a queue as
// standard output's do (channel()); whoever writes the values watches that queue.
class ValueLog
{
public:
    ValueLog();
    ~ValueLog();
    ValueLog(const ValueLog &) = delete;
    ValueLog &operator=(const ValueLog &) = delete;

    // Appends to `path`, writing the header line first when the file is new or empty.
    // False, with the system's reason in errorString(), when it cannot be written.
    bool open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // errno of the call that failed, 0 when none did.
    int error() const { return m_errno; }
    // The file opened, but a write to it failed (a full disk, not a bad path).
    bool writeFailed() const { return m_writeFailed; }
    // The queue of a log that can stall; null for a regular file, which is written at once.
    OutputChannel *channel() const { return m_channel.get(); }

    // False when the line could not be written whole (a full disk, a file size
    // limit); the file then ends with the last whole line where it can be cut back.
    // Nothing more is written after a failure. On a channel, a failure shows at the
    // next line.
    struct Shown {
        QString scaled; // empty: the value as it is
        QString unit;
        QString limit;
    };
    bool append(int address, const QString &valueText, const Shown &shown = {});
    // Closes the file; false when the system reports a late write error.
    bool close();

    // What a log that can stall may hold back before it counts as failed.
    static constexpr qsizetype kMostQueued = 256 * 1024;

private:
    bool writeWhole(const QByteArray &line);
    void fail(int error);

    int m_fd = -1;
    std::unique_ptr<OutputChannel> m_channel;
    QString m_path;
    QString m_error;
    int m_errno = 0;
    bool m_writeFailed = false;
};

} // namespace kvp
