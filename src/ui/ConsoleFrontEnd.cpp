#include "ConsoleFrontEnd.h"

#include "platform/SignalWatcher.h"
#include "reader/CounterSummary.h"

#include <QCoreApplication>

#include <cstdio>

namespace kvp {
namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "kvp-reader: %s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

ConsoleFrontEnd::ConsoleFrontEnd(ReadSession &session, int count, QObject *parent)
    : QObject(parent), m_session(session), m_count(count)
{
    connect(&session, &ReadSession::valueShown, this, &ConsoleFrontEnd::onValue);
    connect(&session, &ReadSession::statusChanged, this, &ConsoleFrontEnd::onStatus);
    connect(&session, &ReadSession::portFailed, this, &ConsoleFrontEnd::onPortFailed);
    connect(&session, &ReadSession::portRestored, this,
            [this] { say(QStringLiteral("serial port %1 is back; reading again").arg(m_session.portName())); });
    auto *signals_ = new SignalWatcher(this);
    connect(signals_, &SignalWatcher::terminationRequested, this, [this] { finish(0); });
}

void ConsoleFrontEnd::start()
{
    if (const Failure failure = m_session.read(); failure != Failure::none) {
        say(m_session.failureText(failure));
        finish(failure == Failure::invalidAddress ? 2 : 1);
    }
}

void ConsoleFrontEnd::onValue(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
    if (m_count > 0 && ++m_values >= m_count)
        finish(0);
}

void ConsoleFrontEnd::onStatus(const CycleStatus &status)
{
    if (status.phase != CyclePhase::reading)
        return;
    const QString where = QStringLiteral("address %1 on %2").arg(m_session.cycle().address()).arg(m_session.portName());
    switch (status.stale) {
    case StaleReason::none:
        say(QStringLiteral("reading %1").arg(where));
        break;
    case StaleReason::noAnswer:
        say(QStringLiteral("no answer from the module at %1; check the address, the wiring and "
                           "the module's power. Still asking.").arg(where));
        break;
    case StaleReason::badCheck:
        say(QStringLiteral("replies from %1 fail their check byte%2. Still asking.")
                .arg(where, status.echoSuspected ? QStringLiteral("; they begin with our own command, "
                                                                   "so the adapter echoes: try --echo")
                                                 : QStringLiteral("; check the wiring and the line's noise")));
        break;
    }
}

void ConsoleFrontEnd::onPortFailed(Failure, const QString &message)
{
    // Not the end: the session waits for the device and resumes reading.
    say(message);
}

void ConsoleFrontEnd::finish(int exitCode)
{
    m_session.stop();
    if (m_session.cycle().status().phase != CyclePhase::ready)
        say(QString::fromStdString(counterSummary(m_session.cycle().counters(), Clock::now())));
    QCoreApplication::exit(exitCode);
}

} // namespace kvp
