#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kvp {
namespace {

int s_pipe[2] = {-1, -1};

void handler(int)
{
    // Only async-signal-safe work here: wake the event loop.
    const char byte = 1;
    (void)!::write(s_pipe[1], &byte, 1);
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (s_pipe[0] < 0 && ::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char drained[16];
        while (::read(s_pipe[0], drained, sizeof drained) > 0) {
        }
        emit terminationRequested();
    });
    struct sigaction sa {};
    sa.sa_handler = &handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    // A closed terminal is an ordinary way to stop a run, not a crash.
    ::sigaction(SIGHUP, &sa, nullptr);
}

SignalWatcher::~SignalWatcher() = default;

} // namespace kvp
