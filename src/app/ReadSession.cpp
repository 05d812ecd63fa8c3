#include "ReadSession.h"

#include "ConditionOf.h"
#include "MakeLink.h"
#include "ReadingColumns.h"
#include "network/NetworkAddress.h"
#include "network/NetworkLink.h"

#include <QMetaMethod>

#include <algorithm>
#include <chrono>
#include <utility>

namespace kvp {

ReadSession::ReadSession(const PortSettings &port, CycleSettings cycle, QObject *parent)
    : ReadSession(port, makeLink(port.portName), cycle, parent)
{
}

ReadSession::ReadSession(const PortSettings &port, std::unique_ptr<Link> link, CycleSettings cycle, QObject *parent)
    : QObject(parent), m_port(port), m_cycleSettings(cycle), m_cycle(cycle)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // the byte gap is a few tens of milliseconds
    connect(&m_timer, &QTimer::timeout, this, &ReadSession::onTimer);
    attach(std::move(link));
    m_cycle = ReadCycle(lineSettings());
    connect(&m_reopenTimer, &QTimer::timeout, this, &ReadSession::tryReopen);
    m_proving.setSingleShot(true);
    m_proving.setInterval(kHeldToBeBack);
    connect(&m_proving, &QTimer::timeout, this, &ReadSession::proven);
}

CycleSettings ReadSession::lineSettings() const
{
    CycleSettings settings = m_cycleSettings;
    if (NetworkAddress::isServer(m_port.portName))
        settings.byteGap = std::max<milliseconds>(settings.byteGap, NetworkLink::kByteGap);
    return settings;
}

void ReadSession::makeLinkFor(const QString &portName)
{
    // The same kind of link is kept: a serial link remembers which device its path was.
    const bool server = NetworkAddress::isServer(portName);
    if (m_link && server == (qobject_cast<NetworkLink *>(m_link.get()) != nullptr))
        return;
    attach(makeLink(portName));
}

void ReadSession::attach(std::unique_ptr<Link> link)
{
    m_link = std::move(link);
    connect(m_link.get(), &Link::received, this, &ReadSession::onReceived);
    connect(m_link.get(), &Link::failed, this, &ReadSession::onPortFailed);
    connect(m_link.get(), &Link::opened, this, &ReadSession::onLinkOpened);
}

Condition ReadSession::open()
{
    return awaited(m_link->InitPort(m_port));
}

Condition ReadSession::awaited(Condition answer)
{
    if (answer == Condition::connecting)
        m_tellOutcome = true;
    return answer;
}

Facts ReadSession::facts() const
{
    Facts facts;
    facts.port = m_port.portName;
    facts.address = m_cycle.address();
    facts.detail = m_link->errorDetail();
    return facts;
}

Condition ReadSession::condition() const
{
    return conditionOf(m_cycle.status());
}

void ReadSession::setAddressText(const QString &text)
{
    m_addressText = text;
    if (m_cycle.setAddressText(text.toStdString()))
        apply({}); // the new module need not wait out the poll interval
}

Facts ReadSession::limitFacts(int address) const
{
    Facts facts = this->facts();
    facts.address = address;
    const ReadoutSettings &settings = m_readouts.of(address);
    const auto withUnit = [&settings](const std::string &text) {
        return QString::fromStdString(settings.units.unit.empty() ? text : text + ' ' + settings.units.unit);
    };
    if (const auto last = m_readouts.last(address)) {
        facts.value = withUnit(last->text);
        const auto &limit = last->limit == LimitState::above ? settings.limits.high : settings.limits.low;
        if (last->limit != LimitState::within && limit)
            facts.limit = withUnit(limit->text());
    }
    return facts;
}

void ReadSession::setBus(const QList<int> &addresses)
{
    m_bus = addresses;
    m_reportedModules.clear();
    m_cycle.setAddresses(std::vector<int>(addresses.begin(), addresses.end()));
}

Condition ReadSession::read()
{
    if (m_lent) {
        // The search for modules has the line: read once it hands it back.
        m_readingWhenLent = true;
        return Condition::none;
    }
    if (!m_link->isOpen()) {
        // Pressing Read is a choice: whatever is at the path now.
        const Condition failure = awaited(m_link->openChosen(m_port));
        m_readWhenUp = failure == Condition::connecting;
        if (failure != Condition::none)
            return failure;
        m_reopenTimer.stop();
    }
    const CycleActions actions = m_cycle.Read_Click(Clock::now());
    apply(actions);
    return actions.invalidAddress ? Condition::invalidAddress : Condition::none;
}

void ReadSession::stop()
{
    m_readingWhenLent = false; // Stop during a search: do not read when it is over
    m_resumeReading = false; // Stop while the device is away: do not start again when it is back
    m_readWhenUp = m_readOnSwitch = false;
    m_tellOutcome = false;
    // A connection the user asked for is given up; one that the session makes to get
    // a lost line back goes on, as the wait for a serial device does.
    if (m_link->opening() && !m_reopenTimer.isActive())
        m_link->close();
    apply(m_cycle.Stop_Click(Clock::now()));
}

Link *ReadSession::lendPort()
{
    if (!m_link->isOpen() || m_lent)
        return nullptr;
    m_readingWhenLent = m_cycle.reading();
    apply(m_cycle.Stop_Click(Clock::now()));
    m_timer.stop(); // a reply still awaited is the borrower's to let pass
    m_lent = true;
    return m_link.get();
}

void ReadSession::takePortBack()
{
    if (!m_lent)
        return;
    m_lent = false;
    if (!m_link->isOpen())
        m_resumeReading = m_resumeReading || m_readingWhenLent; // the reopen timer resumes
    else if (m_readingWhenLent)
        apply(m_cycle.resume(Clock::now()));
}

bool ReadSession::freshCycle()
{
    const bool wasReading = m_cycle.reading() || (m_reopenTimer.isActive() && m_resumeReading) || m_readWhenUp;
    m_timer.stop();
    m_resumeReading = false;
    m_cycle = ReadCycle(lineSettings());
    m_cycle.setAddressText(m_addressText.toStdString());
    if (onBus())
        m_cycle.setAddresses(std::vector<int>(m_bus.begin(), m_bus.end()));
    return wasReading;
}

Condition ReadSession::switchPort(const QString &portName)
{
    // Reading while the device was away is reading still: the reopen timer is
    // stopped only after freshCycle() has seen it.
    // So is reading when the port chosen before could not be opened: the next one
    // chosen is read.
    const bool wasReading = freshCycle() || m_readOnSwitch;
    m_reopenTimer.stop();
    if (m_proving.isActive())
        proven(); // the old line is left as it was; the new one is said on its own
    m_link->close();
    m_tellOutcome = m_readWhenUp = m_readOnSwitch = false;
    m_port.portName = portName;
    makeLinkFor(portName);
    freshCycle(); // the line's own settings: a server's byte gap
    if (const Condition failure = awaited(m_link->openChosen(m_port)); failure != Condition::none) {
        m_readWhenUp = failure == Condition::connecting && wasReading;
        m_readOnSwitch = failure != Condition::connecting && wasReading;
        apply({});
        return failure;
    }
    apply(wasReading ? m_cycle.Read_Click(Clock::now()) : CycleActions{});
    return Condition::none;
}

void ReadSession::setCycleSettings(CycleSettings settings)
{
    m_cycleSettings = settings;
    const bool wasReading = freshCycle();
    if (m_lent)
        return; // the search has the line; reading resumes with these when it hands it back
    if (m_link->isOpen())
        apply(wasReading ? m_cycle.Read_Click(Clock::now()) : CycleActions{});
    else
        m_resumeReading = wasReading; // the device is away: read on when it is back
}

void ReadSession::onReceived(const QByteArray &bytes, qint16 count)
{
    if (m_lent)
        return;
    if (m_proving.isActive())
        proven();
    m_traffic.received(byteSpan(bytes));
    apply(m_cycle.ShowData(byteSpan(bytes), count, Clock::now()));
}

void ReadSession::onTimer()
{
    if (m_lent)
        return;
    apply(m_cycle.tick(Clock::now()));
}

void ReadSession::onPortFailed(Condition failure)
{
    m_resumeReading = m_cycle.reading();
    apply(m_cycle.Stop_Click(Clock::now()));
    m_timer.stop();
    // Lost again before it was said to be back: nothing new to say.
    const bool saidBack = !m_proving.isActive();
    m_proving.stop();
    if (saidBack)
        emit portFailed(failure);
    // A line that fails again before a single value came (a server that takes the
    // connection and drops it) keeps the wait growing.
    m_reopenFailures = m_valueSinceReopen ? 0 : m_reopenFailures + 1;
    m_valueSinceReopen = false;
    m_reopenTimer.start(m_link->retryAfter(m_reopenFailures));
}

void ReadSession::tryReopen()
{
    // The same device path, the same settings: a replugged adapter usually comes back
    // under its old name, and always under its /dev/serial/by-id name. The timer
    // ticking on while a connection is being made asks for nothing new.
    if (const Condition answer = m_link->InitPort(m_port); answer != Condition::connecting)
        reopened(answer);
}

void ReadSession::reopened(Condition failure)
{
    if (failure != Condition::none) {
        // A missing device is what we wait for; another device at its path is worth
        // saying, once, since it will not turn into ours by waiting.
        const bool worthSaying = failure == Condition::portChanged || failure == Condition::portIsTerminal
            || failure == Condition::portIsConsole;
        if (worthSaying && failure != m_refusedReopen) {
            m_refusedReopen = failure;
            emit reopenRefused(failure);
        }
        m_reopenTimer.start(m_link->retryAfter(++m_reopenFailures));
        return;
    }
    m_refusedReopen = Condition::none;
    m_reopenTimer.stop();
    if (NetworkAddress::isServer(m_port.portName))
        m_proving.start();
    else
        emit portRestored();
    if (m_resumeReading && !m_lent)
        apply(m_cycle.resume(Clock::now()));
}

void ReadSession::proven()
{
    m_proving.stop();
    emit portRestored();
}

void ReadSession::onLinkOpened(Condition outcome)
{
    const bool tell = std::exchange(m_tellOutcome, false);
    const bool readNow = std::exchange(m_readWhenUp, false) && outcome == Condition::none;
    if (readNow)
        m_resumeReading = false; // Read's own start follows
    if (m_reopenTimer.isActive())
        reopened(outcome); // the back-off goes on, or the line is back
    if (readNow)
        apply(m_cycle.Read_Click(Clock::now()));
    if (tell)
        emit opened(outcome);
}

void ReadSession::apply(const CycleActions &actions)
{
    if (isSignalConnected(QMetaMethod::fromSignal(&ReadSession::traffic)))
        for (const TrafficEntry &entry : m_traffic.judged(m_cycle.counters(), actions, Clock::now()))
            emit traffic(entry);
    if (actions.send) {
        m_link->discardInput();
        m_link->WritePort(*actions.send);
    }
    if (actions.timeoutGrown)
        emit timeoutGrown(static_cast<int>(actions.timeoutGrown->count()), actions.address);
    for (const int address : actions.setAside) {
        const ModuleState *m = m_cycle.roster().find(address);
        emit moduleNote(m && m->aside == ModuleState::Aside::late ? Condition::moduleLate : Condition::moduleBackedOff,
                        address);
    }
    if (actions.answersAgain)
        emit moduleNote(Condition::moduleBack, actions.address);
    if (actions.show) {
        m_valueSinceReopen = true;
        const QString raw = QString::fromStdString(*actions.show);
        const Reading reading = m_readouts.take(actions.address, actions.value.value_or(0));
        const QString text = actions.value ? QString::fromStdString(reading.text) : raw;
        if (m_log && !m_log->append(actions.address, raw, readingColumns(reading, m_readouts.of(actions.address)))) {
            m_log = nullptr; // it takes nothing more; said once
            emit logFailed();
        }
        emit valueShown(text, actions.address);
        if (reading.crossed)
            emit limitCrossed(*reading.crossed == LimitState::above ? Condition::aboveHigh
                              : *reading.crossed == LimitState::below ? Condition::belowLow
                                                                      : Condition::withinLimits,
                              actions.address);
    }

    if (const auto due = m_cycle.deadline()) {
        using namespace std::chrono;
        // Round up: waking a little late costs nothing, waking early costs a wake-up.
        const auto wait = ceil<milliseconds>(*due - Clock::now());
        m_timer.start(static_cast<int>(std::max<milliseconds::rep>(wait.count(), 0)));
    } else {
        m_timer.stop();
    }

    if (const Condition now = condition(); now != m_reported) {
        m_reported = now;
        emit conditionChanged(now);
    }
    if (onBus()) {
        for (const int a : m_bus) {
            const Condition now = conditionOf(m_cycle.status(a));
            Condition &reported = m_reportedModules.try_emplace(a, Condition::ready).first->second;
            if (now != reported) {
                reported = now;
                emit moduleConditionChanged(now, a);
            }
        }
    }
}

} // namespace kvp
