#include "ConsoleFrontEnd.h"

#include "ConsoleText.h"
#include "platform/StandardStreams.h"
#include "platform/StderrLine.h"
#include "platform/SignalWatcher.h"
#include "platform/SystemErrorText.h"
#include "reader/CounterSummary.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>

namespace kvp {

ConsoleFrontEnd::ConsoleFrontEnd(ReadSession &session, int count, int giveUpSeconds, const ValueLog *log,
                                 QObject *parent)
    : QObject(parent), m_session(session), m_out(standardOutputDescriptor()), m_log(log), m_giveUpSeconds(giveUpSeconds),
      m_count(count), m_logChannel(log ? log->channel() : nullptr)
{
    connect(&session, &ReadSession::valueShown, this, &ConsoleFrontEnd::onValue);
    // On a bus each module has its own condition, worded with its address.
    connect(&session, &ReadSession::conditionChanged, this, [this](Condition condition) {
        if (!m_session.onBus())
            tell(condition);
    });
    connect(&session, &ReadSession::moduleConditionChanged, this, &ConsoleFrontEnd::tellOf);
    connect(&session, &ReadSession::moduleNote, this, &ConsoleFrontEnd::tellOf);
    // Every crossing is said, also the same one again after the value was back.
    connect(&session, &ReadSession::limitCrossed, this, [this](Condition crossing, int address) {
        // The value that completed --count is printed, and so is what it crossed.
        if (!m_finishing || m_printedLast)
            writeStderrLine(consoleText(crossing, m_session.limitFacts(address)));
    });
    // Not the end: the session waits for the device and resumes reading.
    connect(&session, &ReadSession::portFailed, this, &ConsoleFrontEnd::onPortFailed);
    connect(&session, &ReadSession::portRestored, this, &ConsoleFrontEnd::onPortRestored);
    // The first connection to a serial server: one that fails ends the run, as a port
    // that does not open does.
    connect(&session, &ReadSession::opened, this, [this](Condition outcome) {
        if (outcome != Condition::none) {
            tell(outcome);
            finish(1, false);
        }
    });
    connect(&session, &ReadSession::reopenRefused, this, [this](Condition why) {
        m_otherDeviceBack = why == Condition::portChanged;
        tell(why);
    });
    connect(&session, &ReadSession::logFailed, this, [this] {
        Facts facts = m_session.facts();
        facts.file = m_log ? m_log->path() : QString();
        facts.detail = m_log ? m_log->errorString() : QString();
        facts.error = m_log ? m_log->error() : 0;
        tell(Condition::logWriteFailed, facts);
        finishLater(1);
    });
    connect(&session, &ReadSession::timeoutGrown, this, [this](int ms, int address) {
        Facts facts = m_session.facts();
        facts.count = ms;
        facts.address = address;
        tell(Condition::timeoutGrown, facts);
    });
    connect(&m_out, &OutputChannel::drained, this, &ConsoleFrontEnd::onDrained);
    // A log on a pipe or a device is held to the same queue as standard output.
    if (m_logChannel)
        connect(m_logChannel, &OutputChannel::drained, this, &ConsoleFrontEnd::onDrained);
    connect(&m_out, &OutputChannel::failed, this, &ConsoleFrontEnd::onOutputFailed);
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, [this] {
        Facts facts = m_session.facts();
        facts.count = m_giveUpSeconds;
        tell(m_otherDeviceBack ? Condition::gaveUpOnOther : Condition::gaveUp, facts);
        finish(1, false);
    });
    auto *signals_ = new SignalWatcher(this);
    connect(signals_, &SignalWatcher::terminationRequested, this, [this] {
        if (m_awaitingDrain)
            exitNow(m_exitCode); // stop waiting for standard output
        else
            finish(m_finishing ? m_exitCode : 0, false);
    });
}

void ConsoleFrontEnd::start()
{
    if (const Condition failure = m_session.read(); failure != Condition::none && failure != Condition::connecting) {
        tell(failure);
        finish(failure == Condition::invalidAddress ? 2 : 1, false);
    }
}

void ConsoleFrontEnd::onValue(const QString &text, int address)
{
    m_printedLast = !m_finishing;
    if (m_finishing)
        return;
    // On a bus each value says whose it is, in the lines --scan prints.
    if (m_session.onBus())
        m_out.write(QByteArray::number(address) + ' ' + text.toLocal8Bit() + '\n');
    else
        m_out.write(text.toLocal8Bit() + '\n');
    emit valuePrinted(text, address);
    if (m_count > 0 && ++m_values >= m_count) {
        finishLater(0);
        return;
    }
    const bool logCongested = m_logChannel && m_logChannel->congested();
    if ((m_out.congested() || logCongested) && !m_paused && !m_finishing) {
        m_paused = true;
        if (!m_toldPause) {
            m_toldPause = true;
            Facts facts = m_session.facts();
            facts.file = logCongested ? m_log->path() : QString();
            tell(Condition::outputPaused, facts);
        }
        // Queued: this runs inside the session's own handling of the reply.
        QMetaObject::invokeMethod(this, [this] { if (m_paused) m_session.stop(); }, Qt::QueuedConnection);
    }
}

qsizetype ConsoleFrontEnd::pending() const
{
    return m_out.pending() + (m_logChannel ? m_logChannel->pending() : 0);
}

void ConsoleFrontEnd::onDrained()
{
    if (m_awaitingDrain && pending() == 0)
        exitNow(m_exitCode);
    if (m_finishing || !m_paused || m_out.congested() || (m_logChannel && m_logChannel->congested()))
        return;
    m_paused = false;
    if (m_session.portOpen())
        m_session.read();
    else
        m_readWhenBack = true;
}

void ConsoleFrontEnd::onOutputFailed(int error)
{
    if (error == EPIPE) {
        tell(Condition::stdoutBroken);
    } else {
        Facts facts = m_session.facts();
        facts.detail = systemErrorText(error);
        tell(Condition::stdoutFailed, facts);
    }
    finishLater(1);
}

void ConsoleFrontEnd::onPortFailed(Condition failure)
{
    tell(failure);
    if (m_giveUpSeconds > 0 && !m_giveUp.isActive())
        m_giveUp.start(m_giveUpSeconds * 1000);
}

void ConsoleFrontEnd::onPortRestored()
{
    m_giveUp.stop();
    m_otherDeviceBack = false;
    tell(Condition::portBack);
    if (m_readWhenBack) {
        m_readWhenBack = false;
        m_session.read();
    }
}

void ConsoleFrontEnd::sumUpBus()
{
    const ReadCycle &cycle = m_session.cycle();
    const TimePoint now = Clock::now();
    // Modules that were never heard at all, as many as a list like 0-31 names, share
    // one line; every other module has its own.
    std::vector<int> unheard;
    std::uint64_t commands = 0;
    for (const int a : cycle.addresses()) {
        const CycleCounters &c = cycle.counters(a);
        const bool heard = c.goodValues || c.badChecks || c.badTrailers || c.shortReplies || c.lateReplies
            || c.discardedBytes || c.skippedBytes;
        if (!heard) {
            unheard.push_back(a);
            commands += c.commandsSent;
        }
    }
    if (unheard.size() < 2)
        unheard.clear();
    for (const int a : cycle.addresses())
        if (std::find(unheard.begin(), unheard.end(), a) == unheard.end())
            writeStderrLine(QStringLiteral("address %1: ").arg(a)
                            + QString::fromStdString(counterSummary(cycle.counters(a), now)));
    if (!unheard.empty()) {
        const double seconds = std::chrono::duration<double>(now - cycle.counters(unheard.front()).runStart).count();
        writeStderrLine(QStringLiteral("addresses %1: nothing heard in %2 s (%3 commands)")
                            .arg(addressListText(unheard), QString::number(seconds, 'f', 1))
                            .arg(commands));
    }
}

Facts ConsoleFrontEnd::asideFacts() const
{
    // How many share the turn of those set aside, and so how often each is asked.
    const ModuleRoster &roster = m_session.cycle().roster();
    Facts facts = m_session.facts();
    facts.count = roster.asideCount();
    facts.periodMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(roster.asideEvery()).count());
    return facts;
}

void ConsoleFrontEnd::saySilent()
{
    const Facts facts = asideFacts();
    std::sort(m_silentToSay.begin(), m_silentToSay.end());
    writeStderrLine(silentText(std::exchange(m_silentToSay, {}), facts));
}

void ConsoleFrontEnd::tellOf(Condition condition, int address)
{
    Condition &told = m_toldOf.try_emplace(address, Condition::ready).first->second;
    const ModuleState *module = m_session.cycle().roster().find(address);
    if (condition == Condition::reading) {
        // At the start the bus is said once, not each of its modules; later, reading
        // again is news only after a trouble was said.
        if (!m_busStartSaid) {
            m_busStartSaid = true;
            writeStderrLine(busReadingText(m_session.cycle().roster().order(), m_session.facts().port));
        }
        if (told == Condition::ready || told == Condition::reading || told == Condition::moduleBack)
            return;
    }
    // A module on a bus that has not answered in this run is set aside as silent, and
    // that says it does not answer, with how often it is asked.
    if (condition == Condition::noAnswer && module && !module->answered)
        return;
    if (condition == Condition::moduleBackedOff) {
        // Those set aside together (all of a 0-31 at the start) are said in one line.
        if (m_silentToSay.empty())
            QMetaObject::invokeMethod(this, &ConsoleFrontEnd::saySilent, Qt::QueuedConnection);
        m_silentToSay.push_back(address);
        told = condition;
        return;
    }
    Facts facts = condition == Condition::moduleLate ? asideFacts() : m_session.facts();
    facts.address = address;
    const QString text = consoleText(condition, facts);
    if (!text.isEmpty()) {
        told = condition;
        writeStderrLine(text);
    }
}

void ConsoleFrontEnd::tell(Condition condition)
{
    tell(condition, m_session.facts());
}

void ConsoleFrontEnd::tell(Condition condition, Facts facts)
{
    const QString text = consoleText(condition, facts);
    // A pause for standard output stops and starts the queries; that is no news.
    if (text.isEmpty() || text == m_lastTold)
        return;
    m_lastTold = text;
    writeStderrLine(text);
}

void ConsoleFrontEnd::finishLater(int exitCode)
{
    if (m_finishing)
        return;
    // Inside the session's own signal: end once it is done with it.
    QMetaObject::invokeMethod(this, [this, exitCode] { finish(exitCode, exitCode == 0); }, Qt::QueuedConnection);
    m_paused = false;
    m_finishing = true; // no more values are taken from here on
    m_exitCode = exitCode;
    // Nor logged: a reply on its way would reach the log but not standard output.
    m_session.setValueLog(nullptr);
}

void ConsoleFrontEnd::finish(int exitCode, bool drain)
{
    if (m_ended)
        return;
    m_ended = true;
    m_finishing = true;
    m_session.setValueLog(nullptr);
    m_exitCode = exitCode;
    m_giveUp.stop();
    m_session.stop();
    if (m_session.cycle().status().phase != CyclePhase::ready) {
        const ReadCycle &cycle = m_session.cycle();
        if (m_session.onBus()) {
            sumUpBus();
        } else {
            writeStderrLine(QString::fromStdString(counterSummary(cycle.counters(), Clock::now())));
        }
    }
    if (drain && pending() > 0) {
        m_awaitingDrain = true; // onDrained() ends it, or a signal does
        return;
    }
    exitNow(exitCode);
}

void ConsoleFrontEnd::exitNow(int exitCode)
{
    if (const qsizetype lost = m_out.pendingLines(); lost > 0) {
        Facts facts = m_session.facts();
        facts.count = static_cast<int>(lost);
        tell(Condition::outputDropped, facts);
    }
    if (const qsizetype lost = m_logChannel ? m_logChannel->pendingLines() : 0; lost > 0) {
        Facts facts = m_session.facts();
        facts.count = static_cast<int>(lost);
        facts.file = m_log->path();
        tell(Condition::outputDropped, facts);
    }
    QCoreApplication::exit(exitCode);
}

} // namespace kvp
