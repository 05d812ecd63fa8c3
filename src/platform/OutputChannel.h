#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

class QSocketNotifier;

namespace kvp {

// Standard output, or a value log on a pipe or device, that never blocks the program:
// lines wait in a queue while the reader at the other end is not taking them, and
// leave when it is ready again.
// So a stalled pipe can hold back the values, but never the event loop, and a
// termination signal is acted on at once.
class OutputChannel : public QObject
{
    Q_OBJECT

public:
    explicit OutputChannel(int fd, QObject *parent = nullptr);
    ~OutputChannel() override;

    void write(const QByteArray &bytes);
    // Bytes handed to write() that standard output has not taken yet.
    qsizetype pending() const { return m_pending.size(); }
    qsizetype pendingLines() const { return m_pending.count('\n'); }
    // More is waiting than a reader that keeps up would ever leave behind.
    bool congested() const { return m_pending.size() >= kBound; }

    static constexpr qsizetype kBound = 4 * 1024;

signals:
    // Everything written so far has been taken.
    void drained();
    // Writing failed with this errno (EPIPE: the reader went away); what was waiting
    // is dropped.
    void failed(int error);

private:
    void flush();

    int m_fd;
    int m_ownFd = -1;     // our own description of the same file, non-blocking
    int m_restoreFlags = -1;
    QByteArray m_pending;
    QSocketNotifier *m_notifier = nullptr;
    // Where no write can be made not to wait (a pipe or console on Windows), a thread
    // of ours writes, and m_progress wakes this one when it got further.
    std::shared_ptr<struct OutputPump> m_pump;
    QObject *m_progress = nullptr;
    void takeProgress();
};

} // namespace kvp
