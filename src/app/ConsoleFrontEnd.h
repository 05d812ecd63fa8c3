#pragma once

#include "ReadSession.h"
#include "platform/OutputChannel.h"

#include <QObject>
#include <QTimer>

#include <map>

namespace kvp {

// Reading without a window: values on standard output, one a line, everything
// else on standard error.
//
// Standard output never blocks the program. When its reader stops taking values,
// they wait in a small queue; when that fills up, the queries pause until it drains
// (said once on standard error), so no value read is dropped and a stalled pipe
// does not make the module's values pile up in memory.
class ConsoleFrontEnd : public QObject
{
    Q_OBJECT

public:
    // `count`: values before a clean end, 0 for no end; `giveUpSeconds`: how long
    // to wait for a device that went away, 0 for ever. `log` may be null.
    ConsoleFrontEnd(ReadSession &session, int count, int giveUpSeconds, const ValueLog *log,
                    QObject *parent = nullptr);

    // Starts reading; the program's exit code arrives through QCoreApplication::exit.
    void start();

signals:
    // A value went to standard output (those after --count or the end do not).
    void valuePrinted(const QString &text, int address);

private:
    void onValue(const QString &text, int address);
    void onDrained();
    void onOutputFailed(int error);
    void onPortFailed(Condition failure);
    void onPortRestored();
    void tell(Condition condition, Facts facts);
    void tell(Condition condition);
    // Of one module on a bus: every change is said, but the start once for all.
    void tellOf(Condition condition, int address);
    // The summary of a bus at the end of the run.
    void sumUpBus();
    // The modules set aside as silent since this was last called.
    void saySilent();
    Facts asideFacts() const;
    // Ends the run: with values still waiting, a clean end (`drain`) waits for
    // standard output to take them; a signal or a failure ends at once.
    void finish(int exitCode, bool drain);
    void finishLater(int exitCode);
    void exitNow(int exitCode);
    // What standard output and the log's queue hold yet.
    qsizetype pending() const;

    ReadSession &m_session;
    OutputChannel m_out;
    const ValueLog *m_log;
    QTimer m_giveUp;
    int m_giveUpSeconds;
    int m_count;
    OutputChannel *m_logChannel; // of a log that can stall, or null
    int m_values = 0;
    bool m_paused = false;      // queries wait for standard output
    bool m_readWhenBack = false; // the pause ended while the device was away
    bool m_toldPause = false;
    bool m_otherDeviceBack = false; // the path came back as another device while we waited
    bool m_finishing = false;    // no more values are taken
    bool m_printedLast = false;  // the value just shown was printed: a limit it crossed is said
    bool m_ended = false;        // finish() has run
    bool m_awaitingDrain = false; // and waits for standard output to take the rest
    int m_exitCode = 0;
    QString m_lastTold;
    std::map<int, Condition> m_toldOf; // on a bus: what was last said of each module
    bool m_busStartSaid = false;
    std::vector<int> m_silentToSay;
};

} // namespace kvp
