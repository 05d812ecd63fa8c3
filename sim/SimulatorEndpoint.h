#pragma once

#include "ModuleSimulator.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <deque>
#include <map>
#include <memory>

namespace kvp {

// Puts a ModuleSimulator on a file descriptor (a pseudo-terminal master or a real
// serial device) and on the event loop: reads what arrives, writes the answers when
// they are due.
class SimulatorEndpoint : public QObject
{
    Q_OBJECT

public:
    SimulatorEndpoint(int fd, SimulatorSettings settings, QObject *parent = nullptr);

    ModuleSimulator &module() { return m_module; }
    // Stops reading and writing; the descriptor is the owner's to close.
    void detach();

signals:
    // The descriptor failed, e.g. the serial device went away.
    void lost();
    void floodStarted();
    // The garbage flood is over; the module answers again from now on.
    void floodEnded();

private:
    void onReadable();
    void flushDue();
    void flood();

    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    int m_fd;
    ModuleSimulator m_module;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    std::deque<Pending> m_pending;
    std::map<int, Clock::time_point> m_busyUntil; // by module: when its last piece goes out
    int m_floodSeconds;
    QTimer m_floodTimer;
    Clock::time_point m_floodUntil{};
};

} // namespace kvp
