#include "ConsoleFrontEnd.h"

#include "ConsoleText.h"
#include "StderrLine.h"
#include "platform/SignalWatcher.h"
#include "reader/CounterSummary.h"

#include <QCoreApplication>

#include <cstdio>

namespace kvp {

ConsoleFrontEnd::ConsoleFrontEnd(ReadSession &session, int count, QObject *parent)
    : QObject(parent), m_session(session), m_count(count)
{
    connect(&session, &ReadSession::valueShown, this, &ConsoleFrontEnd::onValue);
    connect(&session, &ReadSession::conditionChanged, this, &ConsoleFrontEnd::tell);
    // Not the end: the session waits for the device and resumes reading.
    connect(&session, &ReadSession::portFailed, this, &ConsoleFrontEnd::tell);
    connect(&session, &ReadSession::portRestored, this, [this] { tell(Condition::portBack); });
    auto *signals_ = new SignalWatcher(this);
    connect(signals_, &SignalWatcher::terminationRequested, this, [this] { finish(0); });
}

void ConsoleFrontEnd::start()
{
    if (const Condition failure = m_session.read(); failure != Condition::none) {
        tell(failure);
        finish(failure == Condition::invalidAddress ? 2 : 1);
    }
}

void ConsoleFrontEnd::onValue(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
    if (m_count > 0 && ++m_values >= m_count)
        finish(0);
}

void ConsoleFrontEnd::tell(Condition condition)
{
    if (const QString text = consoleText(condition, m_session.facts()); !text.isEmpty())
        writeStderrLine(text);
}

void ConsoleFrontEnd::finish(int exitCode)
{
    m_session.stop();
    if (m_session.cycle().status().phase != CyclePhase::ready)
        writeStderrLine(QString::fromStdString(counterSummary(m_session.cycle().counters(), Clock::now())));
    QCoreApplication::exit(exitCode);
}

} // namespace kvp
