#include "OutputChannel.h"

#include <QWinEventNotifier>

#include <windows.h>

#include <cerrno>
#include <condition_variable>
#include <io.h>
#include <mutex>
#include <thread>

namespace kvp {

// Windows has no write to a pipe or console that does not wait (and a console waits
// as long as the user holds a selection in it): a thread of ours does the waiting.
// It shares only this with the channel, and outlives it when a write never returns.
struct OutputPump {
    HANDLE out = INVALID_HANDLE_VALUE;
    HANDLE progress = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::mutex lock;
    std::condition_variable wake;
    QByteArray queue;
    qsizetype taken = 0; // written since the channel last looked
    DWORD error = 0;
    bool closing = false;

    ~OutputPump() { CloseHandle(progress); }

    void run()
    {
        std::unique_lock guard(lock);
        for (;;) {
            wake.wait(guard, [this] { return closing || !queue.isEmpty(); });
            if (queue.isEmpty() || error != 0)
                return;
            const QByteArray chunk = std::exchange(queue, {});
            guard.unlock();
            qsizetype done = 0;
            DWORD failure = 0;
            while (done < chunk.size()) {
                DWORD n = 0;
                if (!WriteFile(out, chunk.constData() + done, DWORD(chunk.size() - done), &n, nullptr)) {
                    failure = GetLastError();
                    break;
                }
                done += n;
            }
            guard.lock();
            taken += done;
            error = failure;
            SetEvent(progress);
            if (failure != 0)
                return;
        }
    }
};

namespace {

int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

} // namespace

OutputChannel::OutputChannel(int fd, QObject *parent) : QObject(parent), m_fd(fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_DISK)
        return; // files take what they are given; a full disk fails the write, it does not wait
    m_pump = std::make_shared<OutputPump>();
    m_pump->out = handle;
    auto *notifier = new QWinEventNotifier(m_pump->progress, this);
    connect(notifier, &QWinEventNotifier::activated, this, &OutputChannel::takeProgress);
    m_progress = notifier;
    std::thread([pump = m_pump] { pump->run(); }).detach();
}

OutputChannel::~OutputChannel()
{
    if (!m_pump)
        return;
    // A write that waits on a reader who stopped is left to the system, which ends
    // the thread with the program.
    std::lock_guard guard(m_pump->lock);
    m_pump->closing = true;
    m_pump->queue.clear();
    m_pump->wake.notify_one();
}

void OutputChannel::write(const QByteArray &bytes)
{
    const bool waiting = !m_pending.isEmpty();
    m_pending += bytes;
    if (!m_pump) {
        if (!waiting)
            flush();
        return;
    }
    std::lock_guard guard(m_pump->lock);
    m_pump->queue += bytes;
    m_pump->wake.notify_one();
}

void OutputChannel::takeProgress()
{
    qsizetype taken = 0;
    DWORD error = 0;
    {
        std::lock_guard guard(m_pump->lock);
        ResetEvent(m_pump->progress);
        taken = std::exchange(m_pump->taken, 0);
        error = m_pump->error;
    }
    m_pending.remove(0, taken);
    if (error != 0) {
        m_pending.clear();
        m_progress->deleteLater();
        m_progress = nullptr;
        emit failed(errnoOf(error));
        return;
    }
    if (m_pending.isEmpty())
        emit drained();
}

void OutputChannel::flush()
{
    // A file on disk: written at once, as on Linux.
    while (!m_pending.isEmpty()) {
        const int n = ::_write(m_fd, m_pending.constData(), unsigned(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        const int error = n < 0 ? errno : EIO;
        m_pending.clear();
        emit failed(error);
        return;
    }
    emit drained();
}

} // namespace kvp
