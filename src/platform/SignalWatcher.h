#pragma once

#include <QObject>

namespace kvp {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event thread, so Ctrl+C ends a
// run cleanly instead of killing it in the middle of a write.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);

signals:
    void terminationRequested();

private:
    static void handler(int);
    static int s_pipe[2];
};

} // namespace kvp
