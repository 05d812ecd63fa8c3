// The reader against the simulated module over a real pseudo-terminal: what goes on
// the line, and what the user is shown for each fault the line can have.
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedModule.h"
#include "ui/ReadSession.h"

#include <QSignalSpy>
#include <QTest>

#include <termios.h>
#include <unistd.h>

using namespace kvp;

namespace {

// Everything the session showed, and what the module sent intact, in order.
struct Run
{
    explicit Run(SimulatorSettings sim, CycleSettings cycle = {}, QString address = QStringLiteral("0"))
        : module(sim)
    {
        PortSettings port;
        port.portName = module.devicePath();
        session = std::make_unique<ReadSession>(port, cycle);
        session->setAddressText(address);
        QObject::connect(session.get(), &ReadSession::valueShown, [this](const QString &v) { shown << v; });
        module.module().setValueObserver([this](std::int32_t v) { sent << QString::number(v); });
    }

    SimulatedModule module;
    std::unique_ptr<ReadSession> session;
    QStringList shown;
    QStringList sent;
};

bool isOrderedSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    for (const QString &v : part) {
        at = whole.indexOf(v, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

} // namespace

class tst_seriallink : public QObject
{
    Q_OBJECT

private slots:
    void setsTheModulesLineSettings()
    {
        PseudoTerminal pty;
        PortSettings port;
        port.portName = pty.slavePath();
        ReadSession session(port);
        QCOMPARE(session.open(), Failure::none);

        // The master reports the termios of its slave.
        termios tio{};
        QCOMPARE(::tcgetattr(pty.masterFd(), &tio), 0);
        QCOMPARE(cfgetispeed(&tio), speed_t(B19200));
        QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QVERIFY(!(tio.c_cflag & CSTOPB));
        // Parity cannot be read back here: the Linux pty driver clears PARENB on
        // every tcsetattr. PARODD survives, and must stay clear for even parity.
        QVERIFY(!(tio.c_cflag & PARODD));
        QVERIFY(!(tio.c_lflag & (ICANON | ECHO))); // bytes pass untouched
    }

    void sendsTheExactCommandBytes()
    {
        PseudoTerminal pty;
        PortSettings port;
        port.portName = pty.slavePath();
        ReadSession session(port);
        session.setAddressText(QStringLiteral("&H1F"));
        QCOMPARE(session.open(), Failure::none);

        QByteArray line;
        const auto drain = [&] {
            char buffer[256];
            for (ssize_t n; (n = ::read(pty.masterFd(), buffer, sizeof buffer)) > 0;)
                line.append(buffer, n);
        };
        QTest::qWait(50);
        drain();
        QVERIFY2(line.isEmpty(), "nothing goes out before Read");

        QVERIFY(session.read());
        QTRY_COMPARE_WITH_TIMEOUT((drain(), line), QByteArray("S31;COF8;"), 2000);
        (void)!::write(pty.masterFd(), "OK\r\n", 4);
        QTRY_COMPARE_WITH_TIMEOUT((drain(), line), QByteArray("S31;COF8;S31;MSV?;"), 2000);
    }

    void showsEveryValueInOrder()
    {
        Run run(SimulatorSettings{});
        QCOMPARE(run.session->open(), Failure::none);
        QVERIFY(run.session->read());
        QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 50, 5000);
        run.session->stop();
        QTest::qWait(50);
        QCOMPARE(run.shown, run.sent);
        QCOMPARE(run.session->status().stale, StaleReason::none);
    }

    // Faults of the line: what is shown is always something the module sent intact,
    // in order; the reader keeps going.
    void survivesLineFaults_data()
    {
        QTest::addColumn<double>("split");
        QTest::addColumn<double>("drop");
        QTest::addColumn<double>("corrupt");
        QTest::addColumn<bool>("allShown");

        QTest::newRow("every reply split") << 1.0 << 0.0 << 0.0 << true;
        QTest::newRow("lost replies") << 0.0 << 0.2 << 0.0 << true;
        QTest::newRow("bad check bytes") << 0.0 << 0.0 << 0.2 << true;
        QTest::newRow("all at once") << 0.5 << 0.1 << 0.1 << true;
    }

    void survivesLineFaults()
    {
        QFETCH(double, split);
        QFETCH(double, drop);
        QFETCH(double, corrupt);
        QFETCH(bool, allShown);
        SimulatorSettings sim;
        sim.split = split;
        sim.drop = drop;
        sim.corrupt = corrupt;
        sim.seed = 7;
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(100); // keeps the test short
        Run run(sim, cycle);
        QCOMPARE(run.session->open(), Failure::none);
        QVERIFY(run.session->read());
        QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 40, 15000);
        run.session->stop();
        QTest::qWait(150);
        QVERIFY2(isOrderedSubsequence(run.shown, run.sent), "showed a value the module did not send");
        if (allShown)
            QCOMPARE(run.shown, run.sent);
        // One query for each reply: split pieces never trigger queries of their own.
        const auto &c = run.module.module().counters();
        QVERIFY(c.queries <= c.intactValues + c.dropped + c.corrupted + 1);
    }

    void wrongAddressGivesNoAnswer()
    {
        SimulatorSettings sim;
        sim.address = 5;
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(100);
        Run run(sim, cycle, QStringLiteral("4"));
        QSignalSpy status(run.session.get(), &ReadSession::statusChanged);
        QCOMPARE(run.session->open(), Failure::none);
        QVERIFY(run.session->read());
        QTRY_COMPARE_WITH_TIMEOUT(run.session->status().stale, StaleReason::noAnswer, 2000);
        QVERIFY(run.shown.isEmpty());
        QVERIFY(run.module.module().counters().ignored > 0);
    }

    void removedDeviceStopsReadingWithItsMessage()
    {
        Run run(SimulatorSettings{});
        QSignalSpy failed(run.session.get(), &ReadSession::portFailed);
        QCOMPARE(run.session->open(), Failure::none);
        QVERIFY(run.session->read());
        QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 5, 5000);
        run.module.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
        QCOMPARE(failed.first().at(0).value<Failure>(), Failure::deviceRemoved);
        QVERIFY(failed.first().at(1).toString().contains(run.module.devicePath()));
        QCOMPARE(run.session->status().phase, CyclePhase::stopped);
        QVERIFY(!run.session->portOpen());
    }

    void openFailuresAreNamed()
    {
        PortSettings port;
        port.portName = QStringLiteral("/dev/kvp-no-such-port");
        ReadSession missing(port);
        QCOMPARE(missing.open(), Failure::portMissing);
        QVERIFY(missing.failureText(Failure::portMissing).contains(port.portName));

        PseudoTerminal pty;
        port.portName = pty.slavePath();
        ReadSession first(port);
        QCOMPARE(first.open(), Failure::none);
        ReadSession second(port);
        QCOMPARE(second.open(), Failure::portInUse);
    }
};

QTEST_GUILESS_MAIN(tst_seriallink)
#include "tst_seriallink.moc"
