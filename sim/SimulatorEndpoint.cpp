#include "SimulatorEndpoint.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace kvp {

SimulatorEndpoint::SimulatorEndpoint(int fd, SimulatorSettings settings, QObject *parent)
    : QObject(parent), m_fd(fd), m_module(settings),
      m_notifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)), m_floodSeconds(settings.floodSeconds)
{
    connect(&m_floodTimer, &QTimer::timeout, this, &SimulatorEndpoint::flood);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimulatorEndpoint::flushDue);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SimulatorEndpoint::onReadable);
}

void SimulatorEndpoint::detach()
{
    m_notifier.reset();
    m_timer.stop();
    m_floodTimer.stop();
    m_pending.clear();
    m_busyUntil.clear();
    m_fd = -1;
}

void SimulatorEndpoint::onReadable()
{
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        detach();
        emit lost();
        return;
    }
    const auto now = Clock::now();
    if (m_floodSeconds > 0 && m_module.counters().queries >= static_cast<std::uint64_t>(m_module.settings().floodAfter)) {
        m_floodUntil = now + std::chrono::seconds(m_floodSeconds);
        m_floodSeconds = 0;
        m_floodTimer.start(0);
        emit floodStarted();
    }
    if (m_floodTimer.isActive())
        return; // too busy shouting to listen
    // By when they are due: on a bus a module that takes its time keeps nobody else
    // from answering meanwhile. A module sends one thing at a time: what it has
    // still to send goes out before its next answer.
    for (auto &w : m_module.receive({buffer, static_cast<size_t>(n)})) {
        auto due = now + w.delay;
        if (w.from >= 0) {
            auto &busy = m_busyUntil[w.from];
            due = std::max(due, busy);
            busy = due;
        }
        const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), due,
                                         [](Clock::time_point t, const Pending &p) { return t < p.due; });
        m_pending.insert(at, {due, std::move(w.bytes)});
    }
    flushDue();
}

void SimulatorEndpoint::flushDue()
{
    const auto now = Clock::now();
    while (!m_pending.empty() && m_pending.front().due <= now) {
        const auto &bytes = m_pending.front().bytes;
        // A reader that does not read fills the line; what does not fit is lost,
        // as it would be on a real wire.
        (void)!::write(m_fd, bytes.data(), bytes.size());
        m_pending.pop_front();
    }
    if (!m_pending.empty()) {
        using namespace std::chrono;
        const auto wait = ceil<microseconds>(m_pending.front().due - now);
        // Qt's precise timers count whole milliseconds; round so pacing stays on average.
        m_timer.start(static_cast<int>((wait.count() + 500) / 1000));
    }
}

void SimulatorEndpoint::flood()
{
    if (Clock::now() >= m_floodUntil) {
        m_floodTimer.stop();
        emit floodEnded();
        return;
    }
    // As fast as the line takes it; a full line just refuses the rest.
    static std::uint32_t noise = 0x12345678;
    std::uint8_t garbage[1024];
    for (auto &b : garbage) {
        noise = noise * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(noise >> 24);
    }
    (void)!::write(m_fd, garbage, sizeof garbage);
}

} // namespace kvp
