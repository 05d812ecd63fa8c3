#include "ConsoleFrontEnd.h"

#include "platform/SignalWatcher.h"

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
    auto *signals_ = new SignalWatcher(this);
    connect(signals_, &SignalWatcher::terminationRequested, this, [this] { finish(0); });
}

void ConsoleFrontEnd::start()
{
    if (!m_session.read()) {
        say(failureMessage(Failure::invalidAddress, {}));
        finish(2);
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
    const QString where = QStringLiteral("address %1 on %2").arg(m_session.cycle().address()).arg(m_session.portName());
    if (status.phase != CyclePhase::reading)
        return;
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
    say(message);
    finish(1);
}

void ConsoleFrontEnd::finish(int exitCode)
{
    m_session.stop();
    QCoreApplication::exit(exitCode);
}

} // namespace kvp
