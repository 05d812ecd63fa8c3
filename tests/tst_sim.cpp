// The simulator on a pseudo-terminal, asked the way the scan asks: several modules
// on one line each answer their own address, and nothing else.
#include "protocol/ValueReply.h"
#include "reader/ScanCycle.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <map>

using namespace kvp;

namespace {

// kvp-sim in its own process, and the reading end of its pseudo-terminal.
struct Simulator
{
    explicit Simulator(const QStringList &arguments)
    {
        process.start(QStringLiteral(KVP_SIM), arguments);
        if (!process.waitForStarted() || !process.waitForReadyRead())
            return;
        const QByteArray path = process.readLine().trimmed();
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return;
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ~Simulator()
    {
        if (fd >= 0)
            ::close(fd);
        stop();
    }
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        process.waitForFinished();
    }

    // Runs a whole scan, as the window's edge will: the timer at the deadline, the
    // input dropped before every query.
    ScanCycle scan()
    {
        ScanCycle cycle;
        const auto apply = [&](const ScanActions &a) -> bool {
            if (a.send) {
                ::tcflush(fd, TCIFLUSH);
                if (::write(fd, a.send->data(), a.send->size()) != ssize_t(a.send->size()))
                    return false;
            }
            return !a.finished;
        };
        bool going = apply(cycle.start(Clock::now()));
        while (going) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*cycle.deadline() - Clock::now());
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<long>(wait.count(), 0))) > 0) {
                std::uint8_t buffer[256];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    going = apply(cycle.ShowData({buffer, size_t(n)}, std::int16_t(n), Clock::now()));
            } else {
                going = apply(cycle.tick(Clock::now()));
            }
        }
        return cycle;
    }

    QProcess process;
    int fd = -1;
};

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void scanFindsEveryModule_data()
    {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<std::vector<int>>("expected");
        QTest::newRow("one module") << QStringLiteral("7") << QStringList{} << std::vector<int>{7};
        QTest::newRow("three modules") << QStringLiteral("3,5,17") << QStringList{} << std::vector<int>{3, 5, 17};
        QTest::newRow("the first and last address, out of order")
            << QStringLiteral("31,0") << QStringList{} << std::vector<int>{0, 31};
        QTest::newRow("paced line, split replies, 8 bytes")
            << QStringLiteral("2,9,30")
            << QStringList{QStringLiteral("--pace"), QStringLiteral("--split"), QStringLiteral("1"),
                           QStringLiteral("--reply-bytes"), QStringLiteral("8")}
            << std::vector<int>{2, 9, 30};
        QTest::newRow("slow modules") << QStringLiteral("4,6")
                                      << QStringList{QStringLiteral("--turnaround"), QStringLiteral("30")}
                                      << std::vector<int>{4, 6};
        QTest::newRow("a bus of differing modules, one silent")
            << QStringLiteral("3,7,9")
            << QStringList{QStringLiteral("--reply-bytes"), QStringLiteral("7=8,9=12"), QStringLiteral("--drop"),
                           QStringLiteral("9=1"), QStringLiteral("--turnaround"), QStringLiteral("3=30")}
            << std::vector<int>{3, 7};
    }

    void scanFindsEveryModule()
    {
        QFETCH(QString, addresses);
        QFETCH(QStringList, faults);
        QFETCH(std::vector<int>, expected);
        const QString log = QDir::temp().filePath(QStringLiteral("tst_sim_%1.log").arg(QCoreApplication::applicationPid()));
        Simulator sim(QStringList{QStringLiteral("--address"), addresses, QStringLiteral("--log"), log} + faults);
        QVERIFY2(sim.fd >= 0, "kvp-sim gave no pseudo-terminal");

        const ScanCycle scan = sim.scan();
        sim.stop();
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Each module was asked once: its one logged value is the one the scan found.
        std::map<int, std::int32_t> sent;
        const bool several = expected.size() > 1;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const auto fields = line.split(' ');
            if (!line.isEmpty())
                sent[several ? fields[0].toInt() : expected.front()] = fields.back().toInt();
        }
        file.remove();

        std::vector<int> found;
        for (const ScanAnswer &a : scan.found()) {
            found.push_back(a.address);
            QCOMPARE(a.value, sent[a.address]);
        }
        QCOMPARE(found, expected);
        QCOMPARE(sent.size(), expected.size());
    }

    void addressListRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString address = QStringLiteral("--address");
        QTest::newRow("out of range") << QStringList{address, "3,32"};
        QTest::newRow("negative") << QStringList{address, "-1"};
        QTest::newRow("named twice") << QStringList{address, "5,17,5"};
        QTest::newRow("empty item") << QStringList{address, "1,,2"};
        QTest::newRow("trailing comma") << QStringList{address, "1,"};
        QTest::newRow("empty") << QStringList{address, QString()};
        QTest::newRow("not a number") << QStringList{address, "3,five"};
        // A second --address would silently replace the first.
        QTest::newRow("--address given twice") << QStringList{address, "3", address, "5"};
        QTest::newRow("--seed given twice") << QStringList{"--seed", "3", "--seed=4"};
        QTest::newRow("a difference for a module not played") << QStringList{address, "3,7", "--drop", "9=1"};
    }

    void addressListRefused()
    {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(QStringLiteral(KVP_SIM), arguments);
        QVERIFY(sim.waitForFinished());
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardOutput().isEmpty());
    }

    // The first whole reply heard after two queries is the one the module (of those
    // asked) sends first on a real line: a module that takes its time keeps no other
    // on the bus from answering meanwhile, and one still sending keeps its next answer
    // until it is done.
    void firstReplyHeard_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("sentAs"); // the first reply heard is the n-th value logged
        QTest::newRow("a slow module, then a fast one")
            << QStringList{"--address", "3,7", "--turnaround", "3=2000"} << QStringList{"S03;MSV?;", "S07;MSV?;"} << 1;
        QTest::newRow("a reply with a long pause in it, then the next")
            << QStringList{"--address", "3", "--pause", "1", "--pause-ms", "1000"}
            << QStringList{"S03;MSV?;", "S03;MSV?;"} << 0;
    }

    void firstReplyHeard()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, commands);
        QFETCH(int, sentAs);
        const QString log = QDir::temp().filePath(QStringLiteral("tst_sim_first_%1.log").arg(QCoreApplication::applicationPid()));
        Simulator sim(arguments + QStringList{"--log", log});
        QVERIFY2(sim.fd >= 0, "kvp-sim gave no pseudo-terminal");
        for (const QString &command : commands)
            QCOMPARE(::write(sim.fd, command.toLatin1().constData(), 9), ssize_t(9));
        std::vector<std::uint8_t> heard;
        pollfd p{sim.fd, POLLIN, 0};
        while (heard.size() < 6 && ::poll(&p, 1, 5000) > 0) {
            std::uint8_t buffer[64];
            if (const ssize_t n = ::read(sim.fd, buffer, sizeof buffer); n > 0)
                heard.insert(heard.end(), buffer, buffer + n);
        }
        sim.stop();
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> sent = file.readAll().split('\n');
        file.remove();
        QVERIFY(heard.size() >= 6 && sent.size() > sentAs);
        const auto whole = encodeValueReply(sent[sentAs].split(' ').last().toInt());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(heard.data()), 6).toHex(' '),
                 QByteArray(reinterpret_cast<const char *>(whole.data()), 6).toHex(' '));
    }

    // A log the simulator cannot write ends it with a message, not silently.
    void unwritableLogEndsTheSimulator()
    {
        QProcess sim;
        sim.start(QStringLiteral(KVP_SIM), {QStringLiteral("--log"), QStringLiteral("/dev/full")});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", device, "--count", "3"});
        QVERIFY(sim.waitForFinished(10000));
        reader.kill();
        reader.waitForFinished();
        QCOMPARE(sim.exitCode(), 1);
        const QString errors = QString::fromUtf8(sim.readAllStandardError());
        QVERIFY2(errors.contains(QLatin1String("kvp-sim: cannot write the log /dev/full: No space left on device")),
                 qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
