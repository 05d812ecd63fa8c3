#pragma once

#include "condition/Condition.h"
#include "platform/ValueLog.h"
#include "reader/ReadCycle.h"
#include "reader/TrafficJudge.h"
#include "reader/Readouts.h"
#include "serial/PortSettings.h"
#include "platform/Link.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

namespace kvp {

// Joins the read cycle to the port and to the one timer it needs, for the window
// and the console alike.
class ReadSession : public QObject
{
    Q_OBJECT

public:
    explicit ReadSession(const PortSettings &port, CycleSettings cycle = {}, QObject *parent = nullptr);
    // On a link of the caller's instead of the one the port's name asks for.
    ReadSession(const PortSettings &port, std::unique_ptr<Link> link, CycleSettings cycle = {},
                QObject *parent = nullptr);

    // Condition::connecting: a serial server's connection is being made, and
    // opened() says how it went. So do read() and switchPort().
    Condition open();
    // What the words for a condition of this session may name: the port, the
    // address, and the system's wording of the last port error.
    Facts facts() const;

    void setAddressText(const QString &text);
    // Several modules on one line, read in turn, instead of the address box; fewer
    // than two give the cycle back to the box.
    void setBus(const QList<int> &addresses);
    bool onBus() const { return m_bus.size() > 1; }
    // Every value shown is also appended to this log (not owned; may be null).
    void setValueLog(ValueLog *log) { m_log = log; }
    // Starts reading, opening the port again first if it went away. Nothing is sent
    // when the address box holds no address 0..31 (Condition::invalidAddress) or the
    // port cannot be opened; while it is being connected, reading starts once it is.
    Condition read();
    // Also abandons a connection being made for open(), read() or switchPort().
    void stop();
    // Closes the port and opens `portName` instead, reading on if reading was on.
    // What was learned of the old line's replies is forgotten: another port may lead
    // to another module. On failure nothing is open and the condition says why.
    Condition switchPort(const QString &portName);
    // New reply time-out or echo handling; a fresh cycle, reading on if it was.
    void setCycleSettings(CycleSettings settings);
    const CycleSettings &cycleSettings() const { return m_cycleSettings; }

    // Lends the port to another master on the line, the search for modules: reading
    // stops, and the session leaves the line and its timer alone until the port is
    // handed back, so that no answer to the search is taken for a value. Null when
    // the port is not open.
    Link *lendPort();
    // A serial server's connection is being made (open(), read() or switchPort()).
    bool connecting() const { return m_link->opening(); }
    // Reading goes on if it was on when the port was lent (once the device is back,
    // if it went away meanwhile).
    void takePortBack();
    bool portLent() const { return m_lent; }

    // Units and limits: of every module (the console's options), and of one module.
    // The value text of valueShown() is the scaled one; the log keeps the raw count too.
    void setReadoutDefaults(const ReadoutSettings &settings) { m_readouts.setDefaults(settings); }
    void setReadout(int address, const ReadoutSettings &settings) { m_readouts.set(address, settings); }
    const Readouts &readouts() const { return m_readouts; }
    // The last value of `address` as its settings show it now (scaled text, unit in
    // readouts().of(address), where it stands against its limits); none before one came.
    std::optional<Reading> lastReading(int address) const { return m_readouts.last(address); }
    // What the words for `address` against its limits name: its value and the limit
    // it is beyond, each with its unit.
    Facts limitFacts(int address) const;

    const ReadCycle &cycle() const { return m_cycle; }
    CycleStatus status() const { return m_cycle.status(); }
    Condition condition() const;
    QString portName() const { return m_port.portName; }
    bool portOpen() const { return m_link->isOpen(); }

signals:
    void valueShown(const QString &valueText, int address);
    // What the user is to be told of the cycle changed.
    void conditionChanged(kvp::Condition condition);
    // On a bus: what the user is to be told of one module changed.
    void moduleConditionChanged(kvp::Condition condition, int address);
    // On a bus: a module that does not answer is asked about once a second now
    // (Condition::moduleBackedOff), or answers again (Condition::moduleBack).
    void moduleNote(kvp::Condition note, int address);
    // The port failed while open; reading has stopped, and the session checks about
    // once a second for the device to come back.
    void portFailed(kvp::Condition failure);
    // The device is back and open again; reading has resumed if it was on.
    void portRestored();
    // A connection that open(), read() or switchPort() answered Condition::connecting
    // for is made (Condition::none; reading has started if read() asked for it), or
    // failed. Not after stop() or another switchPort().
    void opened(kvp::Condition outcome);
    // While waiting for the device: the path is there but is not the device read
    // before (Condition::portChanged) or is a terminal; it is left alone. Once for
    // each such finding.
    void reopenRefused(kvp::Condition why);
    // The module's replies came after the time-out, so it was made this long.
    void timeoutGrown(int milliseconds, int address);
    // A module's value went beyond one of its limits (Condition::aboveHigh,
    // Condition::belowLow) or came back within them (Condition::withinLimits); said
    // once for each crossing. limitFacts() has the words' facts.
    void limitCrossed(kvp::Condition condition, int address);
    // The value log failed to take a value (ValueLog::errorString says why) and is
    // written no more.
    void logFailed();
    // A command put on the line, or what came back with the reader's verdict on it,
    // for whoever diagnoses the line (the window's traffic view).
    void traffic(const kvp::TrafficEntry &entry);

private:
    void onReceived(const QByteArray &bytes, qint16 count);
    void onTimer();
    void onPortFailed(Condition failure);
    void tryReopen();
    // What an attempt to open the line again came to.
    void reopened(Condition failure);
    void proven();
    void onLinkOpened(Condition outcome);
    // An open the user asked for that the link is still making: opened() will say
    // how it went (the automatic reopen's outcome goes to reopened() instead).
    Condition awaited(Condition answer);
    void apply(const CycleActions &actions);
    // Starts over with a cycle that knows nothing yet; says whether reading was on.
    bool freshCycle();
    // The settings as this line needs them: behind a server, a longer byte gap.
    CycleSettings lineSettings() const;
    // A link of the kind the port's name asks for: a device or a serial server.
    void makeLinkFor(const QString &portName);
    void attach(std::unique_ptr<Link> link);

    PortSettings m_port;
    CycleSettings m_cycleSettings;
    QString m_addressText = QStringLiteral("0");
    std::unique_ptr<Link> m_link;
    ReadCycle m_cycle;
    Readouts m_readouts;
    QTimer m_timer;
    QTimer m_reopenTimer;
    // A serial server takes a connection even when its device is missing or taken,
    // and closes it at once: a line got back through one is back once it has held
    // this long, or bytes came.
    QTimer m_proving;
    static constexpr std::chrono::milliseconds kHeldToBeBack{1000};
    bool m_resumeReading = false;
    bool m_lent = false;
    bool m_readingWhenLent = false;
    ValueLog *m_log = nullptr;
    Condition m_reported = Condition::ready;
    QList<int> m_bus;
    std::map<int, Condition> m_reportedModules;
    Condition m_refusedReopen = Condition::none;
    TrafficJudge m_traffic;
    int m_reopenFailures = 0;
    bool m_tellOutcome = false;
    bool m_readWhenUp = false;
    bool m_readOnSwitch = false; // reading when a port chosen could not be opened
    bool m_valueSinceReopen = true;
};

} // namespace kvp
