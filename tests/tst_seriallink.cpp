// The reader against the simulated module over a real pseudo-terminal: what goes on
// the line, and what the user is shown for each fault the line can have.
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedModule.h"
#include "FakeLink.h"
#include "PortLink.h"
#include "app/ReadSession.h"
#include "app/ScanSession.h"
#include "serial/SerialLink.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

using namespace kvp;

Q_DECLARE_METATYPE(kvp::DeviceIdentity)
Q_DECLARE_METATYPE(kvp::Sameness)

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
        module.module().setReplyObserver([this](const ModuleSimulator::Reply &r) {
            if (r.intact())
                sent << QString::number(r.value);
        });
    }

    SimulatedModule module;
    std::unique_ptr<ReadSession> session;
    QStringList shown;
    QStringList sent;
};

// Each of `part` in `whole`, in the same order, each at its own place.
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
        QCOMPARE(session.open(), Condition::none);

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
        QCOMPARE(session.open(), Condition::none);

        QByteArray line;
        const auto drain = [&] {
            char buffer[256];
            for (ssize_t n; (n = ::read(pty.masterFd(), buffer, sizeof buffer)) > 0;)
                line.append(buffer, n);
        };
        QTest::qWait(50);
        drain();
        QVERIFY2(line.isEmpty(), "nothing goes out before Read");

        QCOMPARE(session.read(), Condition::none);
        QTRY_COMPARE_WITH_TIMEOUT((drain(), line), QByteArray("S31;COF8;"), 2000);
        (void)!::write(pty.masterFd(), "OK\r\n", 4);
        QTRY_COMPARE_WITH_TIMEOUT((drain(), line), QByteArray("S31;COF8;S31;MSV?;"), 2000);
    }

    // Faults of the line: what is shown is always something the module sent intact,
    // in order, never twice. Where the line loses nothing, everything is shown; there
    // the times are generous, so that a test machine busy elsewhere cannot turn a pause
    // between two pieces into the end of a reply.
    void survivesLineFaults_data()
    {
        QTest::addColumn<double>("split");
        QTest::addColumn<double>("drop");
        QTest::addColumn<double>("corrupt");

        QTest::newRow("clean line") << 0.0 << 0.0 << 0.0;
        QTest::newRow("every reply split") << 1.0 << 0.0 << 0.0;
        QTest::newRow("lost replies") << 0.0 << 0.2 << 0.0;
        QTest::newRow("bad check bytes") << 0.0 << 0.0 << 0.2;
        QTest::newRow("all at once") << 0.5 << 0.1 << 0.1;
    }

    void survivesLineFaults()
    {
        QFETCH(double, split);
        QFETCH(double, drop);
        QFETCH(double, corrupt);
        SimulatorSettings sim;
        sim.split = split;
        sim.drop = drop;
        sim.corrupt = corrupt;
        sim.seed = 7;
        const bool lossless = drop == 0 && corrupt == 0;
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(lossless ? 2000 : 100); // short keeps the lossy rows short
        if (lossless)
            cycle.byteGap = milliseconds(250);
        Run run(sim, cycle);
        QCOMPARE(run.session->open(), Condition::none);
        QCOMPARE(run.session->read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 40, 15000);
        run.session->stop();
        QVERIFY2(isOrderedSubsequence(run.shown, run.sent), "showed a value the module did not send");
        // The reply on its way at Stop may be sent intact but never shown; no other.
        if (lossless)
            QVERIFY(run.sent.size() - run.shown.size() <= 1);
    }

    void wrongAddressGivesNoAnswer()
    {
        SimulatorSettings sim;
        sim.address = 5;
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(100);
        Run run(sim, cycle, QStringLiteral("4"));
        QCOMPARE(run.session->open(), Condition::none);
        QCOMPARE(run.session->read(), Condition::none);
        QTRY_COMPARE_WITH_TIMEOUT(run.session->status().stale, StaleReason::noAnswer, 2000);
        QVERIFY(run.shown.isEmpty());
        QVERIFY(run.module.module().counters().ignored > 0);
    }

    // A removal gives the reason of the path as it is now, never a stale errno
    // ("Inappropriate ioctl for device", "File exists", "Resource temporarily unavailable").
    void removedDeviceStopsReading_data()
    {
        QTest::addColumn<bool>("reading");
        QTest::newRow("while reading") << true;
        QTest::newRow("while stopped") << false;
    }

    void removedDeviceStopsReading()
    {
        QFETCH(bool, reading);
        PortLink link;
        SimulatedModule module{SimulatorSettings{}};
        QVERIFY(link.plug(module.devicePath()));
        ReadSession session(link.port());
        QSignalSpy failed(&session, &ReadSession::portFailed);
        QCOMPARE(session.open(), Condition::none);
        QCOMPARE(session.read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(session.cycle().counters().goodValues >= 5, 5000);
        if (!reading)
            session.stop();
        QVERIFY(link.unplug());
        module.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
        QCOMPARE(failed.first().at(0).value<Condition>(), Condition::deviceRemoved);
        QCOMPARE(session.facts().port, link.path());
        QCOMPARE(session.facts().detail, QStringLiteral("No such file or directory"));
        QCOMPARE(session.status().phase, CyclePhase::stopped);
        QVERIFY(!session.portOpen());
        // Read while it is still gone says so, and sends nothing anywhere.
        QCOMPARE(session.read(), Condition::portMissing);
    }

    // A pseudo-terminal that went away never comes back: whatever is given its path
    // later is another device (here another simulated module; just as well someone's
    // terminal), and is neither set up nor written to. Said once, while waiting on.
    void anotherDeviceAtThePathIsNotOpened()
    {
        PortLink link;
        auto first = std::make_unique<SimulatedModule>(SimulatorSettings{});
        QVERIFY(link.plug(first->devicePath()));
        ReadSession session(link.port());
        QSignalSpy failed(&session, &ReadSession::portFailed);
        QSignalSpy restored(&session, &ReadSession::portRestored);
        QSignalSpy refused(&session, &ReadSession::reopenRefused);
        QCOMPARE(session.open(), Condition::none);
        QCOMPARE(session.read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(session.cycle().counters().goodValues >= 5, 3000);

        QVERIFY(link.unplug());
        first->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 3000);
        SimulatedModule second{SimulatorSettings{}};
        QVERIFY(link.plug(second.devicePath()));
        QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, 3000);
        QCOMPARE(refused.first().at(0).value<Condition>(), Condition::portChanged);
        QTest::qWait(1200); // a second look finds the same, and says nothing more
        QCOMPARE(refused.size(), 1);
        QCOMPARE(restored.size(), 0);
        QCOMPARE(second.module().counters().setups + second.module().counters().queries, 0u);
        QVERIFY(!session.portOpen());
        // Pressing Read is a choice: the device there now is read (a terminal or the
        // console would still be refused).
        QCOMPARE(session.read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(second.module().counters().queries > 0, 3000);
    }

    // The same device at the same path is opened again.
    void theSameDeviceIsOpenedAgain()
    {
        PortLink link;
        SimulatedModule module{SimulatorSettings{}};
        QVERIFY(link.plug(module.devicePath()));
        SerialLink port;
        QCOMPARE(port.InitPort(link.port()), Condition::none);
        port.close();
        QVERIFY(link.unplug());
        QVERIFY(link.plug(module.devicePath()));
        QCOMPARE(port.InitPort(link.port()), Condition::none);
    }

    void sameDevice_data()
    {
        QTest::addColumn<DeviceIdentity>("first");
        QTest::addColumn<DeviceIdentity>("now");
        QTest::addColumn<Sameness>("expected");
        const dev_t usb0 = makedev(188, 0), usb1 = makedev(188, 1), pts3 = makedev(136, 3);
        const QString ftdi = QStringLiteral("usb-FTDI_FT232R_A1"), other = QStringLiteral("usb-FTDI_FT232R_B2");
        QTest::newRow("adapter back at its node") << DeviceIdentity{usb0, 0, ftdi} << DeviceIdentity{usb0, 0, ftdi}
                                                  << Sameness::same;
        QTest::newRow("adapter back at another node") << DeviceIdentity{usb0, 0, ftdi}
                                                      << DeviceIdentity{usb1, 0, ftdi} << Sameness::same;
        QTest::newRow("another adapter at its node") << DeviceIdentity{usb0, 0, ftdi}
                                                     << DeviceIdentity{usb0, 0, other} << Sameness::other;
        QTest::newRow("udev has not named it yet") << DeviceIdentity{usb0, 0, ftdi} << DeviceIdentity{usb0, 0, {}}
                                                   << Sameness::notYetKnown;
        QTest::newRow("unnamed device, same number") << DeviceIdentity{usb0, 0, {}} << DeviceIdentity{usb0, 0, {}}
                                                     << Sameness::same;
        QTest::newRow("unnamed device, other number") << DeviceIdentity{usb0, 0, {}}
                                                      << DeviceIdentity{usb1, 0, {}} << Sameness::other;
        QTest::newRow("the same pseudo-terminal") << DeviceIdentity{pts3, 7, {}} << DeviceIdentity{pts3, 7, {}}
                                                  << Sameness::same;
        QTest::newRow("a new terminal in the old pts slot") << DeviceIdentity{pts3, 7, {}}
                                                            << DeviceIdentity{pts3, 9, {}} << Sameness::other;
    }

    void sameDevice()
    {
        QFETCH(DeviceIdentity, first);
        QFETCH(DeviceIdentity, now);
        QFETCH(Sameness, expected);
        QCOMPARE(kvp::sameDevice(first, now), expected);
    }

    void terminalsOfTheUser_data()
    {
        QTest::addColumn<dev_t>("device");
        QTest::addColumn<bool>("refused");
        QTest::newRow("/dev/tty") << makedev(5, 0) << true;
        QTest::newRow("/dev/console") << makedev(5, 1) << true;
        QTest::newRow("/dev/tty1") << makedev(4, 1) << true;
        QTest::newRow("/dev/ttyS0") << makedev(4, 64) << false;
        QTest::newRow("/dev/ttyUSB0") << makedev(188, 0) << false;
        QTest::newRow("/dev/ttyACM0") << makedev(166, 0) << false;
        QTest::newRow("a pts we run in") << makedev(136, 4) << true;
        QTest::newRow("another pts") << makedev(136, 5) << false;
    }

    void terminalsOfTheUser()
    {
        QFETCH(dev_t, device);
        QFETCH(bool, refused);
        QCOMPARE(isTerminalOfUser(device, {makedev(136, 4)}), refused);
    }

    // Two-wire RS-485 adapters hear themselves. With the echo dropped values come
    // through; without, the status says what is wrong.
    void echoOnTheLine_data()
    {
        QTest::addColumn<bool>("dropEcho");
        QTest::newRow("--echo") << true;
        QTest::newRow("no --echo") << false;
    }

    void echoOnTheLine()
    {
        QFETCH(bool, dropEcho);
        SimulatorSettings sim;
        sim.echo = true;
        CycleSettings cycle;
        cycle.dropEcho = dropEcho;
        cycle.replyTimeout = milliseconds(100);
        Run run(sim, cycle);
        QCOMPARE(run.session->open(), Condition::none);
        QCOMPARE(run.session->read(), Condition::none);
        if (dropEcho) {
            QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 20, 3000);
            QCOMPARE(run.shown, run.sent.mid(0, run.shown.size()));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(run.session->status().stale, StaleReason::badCheck, 3000);
            QVERIFY(run.session->status().echoSuspected);
            QVERIFY(run.shown.isEmpty());
        }
    }

    void logsEveryValueShown()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("values.csv"));
        {
            ValueLog log;
            QVERIFY(log.open(path));
            Run run(SimulatorSettings{.address = 7}, {}, QStringLiteral("7"));
            run.session->setValueLog(&log);
            QCOMPARE(run.session->open(), Condition::none);
            QCOMPARE(run.session->read(), Condition::none);
            QTRY_VERIFY_WITH_TIMEOUT(run.shown.size() >= 10, 3000);
            run.session->stop();
            QTest::qWait(20);

            // Read back while the log is still open: nothing waits in a buffer.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.first(), QStringLiteral("time,address,value,scaled,unit,limit"));
            QCOMPARE(lines.size() - 1, run.shown.size());
            const QRegularExpression line(QStringLiteral(
                R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d),7,(-?\d+),\2,,$)"));
            for (int i = 1; i < lines.size(); ++i) {
                const auto match = line.match(lines[i]);
                QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
                QCOMPARE(match.captured(2), run.shown[i - 1]);
            }
        }
        // A second run appends, without a second header.
        ValueLog again;
        QVERIFY(again.open(path));
        again.append(7, QStringLiteral("1"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).count(QStringLiteral("time,address,value")), 1);

        ValueLog refused;
        QVERIFY(!refused.open(dir.filePath(QStringLiteral("no-such-dir/values.csv"))));
    }

    // Bytes that reached the driver before a command went out answer nothing of it:
    // they are thrown away, not taken for the reply, nor for the next module's.
    void inputWaitingBeforeACommandIsDropped_data()
    {
        QTest::addColumn<QList<int>>("addresses");
        QTest::newRow("one module") << QList<int>{0};
        QTest::newRow("a bus") << QList<int>{3, 7};
    }

    void inputWaitingBeforeACommandIsDropped()
    {
        QFETCH(QList<int>, addresses);
        SimulatorSettings sim;
        sim.address = addresses.first();
        sim.moreAddresses.assign(addresses.begin() + 1, addresses.end());
        auto owned = std::make_unique<FakeLink>(sim);
        FakeLink &link = *owned;
        link.echoLater = true;
        std::map<int, QStringList> sent, shown;
        link.module().setReplyObserver([&](const ModuleSimulator::Reply &r) {
            sent[r.address] << QString::number(r.value);
        });
        ReadSession session(PortSettings{}, std::move(owned));
        session.setAddressText(QString::number(addresses.first()));
        session.setBus(addresses);
        QObject::connect(&session, &ReadSession::valueShown,
                         [&](const QString &v, int address) { shown[address] << v; });
        QCOMPARE(session.open(), Condition::none);
        QCOMPARE(session.read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(session.cycle().counters().goodValues >= 30, 5000);
        session.stop();
        for (const int a : addresses) {
            QVERIFY2(isOrderedSubsequence(shown[a], sent[a]), qPrintable(QString::number(a)));
            QVERIFY(sent[a].size() - shown[a].size() <= 1); // the one on its way at Stop
        }
        QCOMPARE(session.cycle().counters().timeouts, 0u);
    }

    // So it is for the search: the echo of 5's answer is not a module at 6.
    void searchDropsInputWaitingBeforeACommand()
    {
        SimulatorSettings sim;
        sim.address = 5;
        FakeLink link(sim);
        link.echoLater = true;
        QCOMPARE(link.InitPort(PortSettings{}), Condition::none);
        ScanSettings settings;
        settings.firstAddress = 3;
        settings.lastAddress = 8;
        ScanSession scan(link, settings);
        QSignalSpy found(&scan, &ScanSession::found);
        QSignalSpy finished(&scan, &ScanSession::finished);
        scan.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().at(0).toInt(), 5);
    }

    void openFailuresAreNamed()
    {
        PortSettings port;
        port.portName = QStringLiteral("/dev/kvp-no-such-port");
        ReadSession missing(port);
        QCOMPARE(missing.open(), Condition::portMissing);

        PseudoTerminal pty;
        port.portName = pty.slavePath();
        ReadSession first(port);
        QCOMPARE(first.open(), Condition::none);
        ReadSession second(port);
        QCOMPARE(second.open(), Condition::portInUse);
    }
};

QTEST_GUILESS_MAIN(tst_seriallink)
#include "tst_seriallink.moc"
