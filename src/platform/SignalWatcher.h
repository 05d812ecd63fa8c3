#pragma once

#include <QObject>

namespace kvp {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event thread, so Ctrl+C ends a
// run cleanly instead of killing it in the middle of a write. On Windows the same for
// Ctrl+C, Ctrl+Break and a console window closed (SetConsoleCtrlHandler).
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    // The run has ended, its summary said: a console being closed may go now.
    ~SignalWatcher() override;

signals:
    void terminationRequested();
};

} // namespace kvp
