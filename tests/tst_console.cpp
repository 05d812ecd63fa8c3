// kvp-reader --console and kvp-sim as the user runs them: exit codes, output, and
// the messages for each way the port can fail.
#include "PortLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "sim/PseudoTerminal.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct Finished {
    int exitCode;
    QStringList values;
    QString errors;
};

// The environment of a machine without any display.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

QString mapsOf(const QProcess &process)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(process.processId()));
    return maps.open(QIODevice::ReadOnly) ? QString::fromUtf8(maps.readAll()) : QString();
}

Finished runReader(const QStringList &arguments, int timeoutMs = 15000,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess reader;
    reader.setProcessEnvironment(env);
    reader.start(QStringLiteral(KVP_READER), arguments);
    reader.waitForFinished(timeoutMs);
    const QString out = QString::fromUtf8(reader.readAllStandardOutput());
    return {reader.exitStatus() == QProcess::NormalExit ? reader.exitCode() : -1,
            out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), QString::fromUtf8(reader.readAllStandardError())};
}

// kvp-sim in the background; its first line is the device to read from.
class Simulator
{
public:
    explicit Simulator(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(KVP_SIM), arguments);
        if (m_process.waitForReadyRead(5000))
            m_device = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~Simulator()
    {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    QString device() const { return m_device; }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_device;
};

} // namespace

class tst_console : public QObject
{
    Q_OBJECT

private:
    // Starts reading a simulated module through `link`, and unplugs it once the
    // first value is in; returns when the reader has said the device went away.
    static void readThenUnplug(PortLink &link, QProcess &reader, QByteArray &errors)
    {
        auto sim = std::make_unique<Simulator>(QStringList{});
        QVERIFY(link.plug(sim->device()));
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", link.path()});
        QVERIFY(reader.waitForReadyRead(5000));
        QVERIFY(link.unplug());
        sim.reset();
        QTRY_VERIFY_WITH_TIMEOUT((errors += reader.readAllStandardError()).contains("went away"), 5000);
    }

private slots:
    // The simulated module answers at the address the reader starts with, however
    // the address was written.
    void simulateCountPrintsThatManyValues_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("summary");
        QTest::newRow("default") << "0" << 20 << "kvp-reader: 20 values in ";
        QTest::newRow("leading zero") << "07" << 20 << "kvp-reader: 20 values in ";
        QTest::newRow("a single value") << "0" << 1 << "kvp-reader: 1 value in ";
    }

    void simulateCountPrintsThatManyValues()
    {
        QFETCH(QString, address);
        QFETCH(int, count);
        QFETCH(QString, summary);
        const Finished run = runReader(
            {"--console", "--simulate", "--count", QString::number(count), "--address", address});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.size(), count);
        for (const QString &v : run.values) {
            bool ok = false;
            v.toInt(&ok);
            QVERIFY2(ok, qPrintable(v));
        }
        QVERIFY(run.errors.contains(QLatin1String("SIMULATED")));
        QVERIFY2(run.errors.contains(summary), qPrintable(run.errors));
    }

    void valuesAreThoseTheModuleSent()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sent.txt"));
        Simulator sim({"--split", "0.3", "--drop", "0.05", "--corrupt", "0.05", "--seed", "3", "--log", log});
        QVERIFY(!sim.device().isEmpty());
        const Finished run = runReader({"--console", "--port", sim.device(), "--timeout", "100", "--count", "100"});
        QCOMPARE(run.exitCode, 0);
        sim.process().terminate();
        sim.process().waitForFinished(3000);

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList sent = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // Every intact value, in order; the last one sent may still have been on its way.
        QVERIFY(sent.size() >= run.values.size());
        QCOMPARE(run.values, sent.mid(0, run.values.size()));
    }

    // A bus: each module's values in the lines --scan prints and in the order the
    // module sent them; the start said once for all, the silent said once each (not
    // also as "no answer"), and summed up together.
    void busReadInTurn()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sent.txt"));
        Simulator sim({"--address", "3,7,9", "--reply-bytes", "7=8", "--drop", "9=1", "--log", log});
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", sim.device(), "--address", "3,7,9,12"});
        // 9 acknowledges its set-up and then never answers; 12 is not there at all.
        const QRegularExpression silent("(9|12|9,12) on " + QRegularExpression::escape(sim.device())
                                        + " do(es)? not answer; asking ");
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(errors += reader.readAllStandardError()).count(silent) == 2
                                     || QString::fromUtf8(errors).contains("9,12 on " + sim.device() + " do not"),
                                 10000);
        reader.terminate();
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitCode(), 0);
        const QString err = QString::fromUtf8(errors + reader.readAllStandardError());
        sim.process().terminate();
        sim.process().waitForFinished(3000);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        std::map<QString, QStringList> sent, read;
        for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
            sent[line.section(' ', 0, 0)] << line.section(' ', 1);
        for (const QString &line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            read[line.section(' ', 0, 0)] << line.section(' ', 1);
        QCOMPARE(read.size(), size_t(2));
        for (const auto &[address, values] : read) { // in the order its module sent them
            qsizetype at = 0;
            for (const QString &v : values) {
                at = sent[address].indexOf(v, at) + 1;
                QVERIFY2(at > 0, qPrintable(address + ' ' + v));
            }
        }
        QCOMPARE(err.count("reading addresses 3,7,9,12 on " + sim.device() + " in turn"), 1);
        QVERIFY2(!err.contains("reading address ") && !err.contains("no answer from"), qPrintable(err));
        const qsizetype silentLines = err.count(silent);
        QVERIFY2(silentLines >= 1 && silentLines == err.count("not answer"), qPrintable(err));
        QCOMPARE(err.count(" 9 on ") + err.count(" 9,12 on "), 1);
        for (const char *summary : {"address 3: ", "address 7: ", "addresses 9,12: nothing heard in "})
            QCOMPARE(err.count(QString::fromLatin1(summary)), 1);
    }

    // The log holds the very values standard output does, also when a reply is on
    // its way as the count is reached (a module that answers at once, run after run).
    void logHoldsTheValuesPrinted()
    {
        Simulator sim({});
        QTemporaryDir dir;
        for (int run = 0; run < 20; ++run) {
            const QString log = dir.filePath(QStringLiteral("values%1.csv").arg(run));
            const Finished read = runReader({"--console", "--port", sim.device(), "--count", "25", "--log", log});
            QCOMPARE(read.exitCode, 0);
            QFile file(log);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QStringList rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts).mid(1);
            QCOMPARE(rows.size(), read.values.size());
            QVERIFY(rows.isEmpty() || rows.last().section(',', 2, 2) == read.values.last());
        }
    }

    // The value on stdout is the scaled one (the unit never joins it); a limit crossed
    // is said once on stderr, and once on the way back; the log keeps the raw count and
    // adds the scaled value, the unit and the limit.
    void unitsAndLimits_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("valuePattern");
        QTest::addColumn<double>("scale");

        QTest::newRow("0.001, 3 decimals") << QStringList{"--scale", "0.001", "--decimals", "3"} << R"(-?\d+\.\d{3})" << 0.001;
        QTest::newRow("0.5, no decimals: whole numbers") << QStringList{"--scale", "0.5"} << R"(-?\d+)" << 0.5;
        QTest::newRow("a unit, not on stdout") << QStringList{"--scale", "0.001", "--decimals", "1", "--unit", "kg",
                                                          "--low", "-20", "--high", "20"}
                                               << R"(-?\d+\.\d)" << 0.001;
        QTest::newRow("raw limits") << QStringList{"--low", "-30000", "--high", "30000"} << R"(-?\d+)" << 1.0;
        QTest::newRow("a bus") << QStringList{"--address", "3,5", "--offset", "0.5", "--decimals", "1", "--high", "0"}
                               << R"([35] -?\d+\.5)" << 1.0;
        QTest::newRow("a bus, one module with units of its own")
            << QStringList{"--address", "3,5", "--offset", "0.5,5=0", "--decimals", "1,5=0"} << R"(3 -?\d+\.5|5 -?\d+)" << 1.0;
        // The simulator's noise alone (+-99) about a limit: out and back once, not at every other value.
        QTest::newRow("noise at a limit, a deadband") << QStringList{"--high", "20", "--deadband", "80", "--amplitude-0"}
                                                      << R"(-?\d+)" << 1.0;
    }

    void unitsAndLimits()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, valuePattern);
        QFETCH(double, scale);
        QStringList simulated{"--address", options.contains("3,5") ? "3,5" : "0"};
        if (options.removeAll(QStringLiteral("--amplitude-0")))
            simulated << "--amplitude" << "0";
        Simulator sim(simulated);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("values.csv"));
        const Finished run = runReader(QStringList{"--console", "--port", sim.device(), "--count", "60", "--log", log} + options);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.size(), 60);
        const QRegularExpression shape(QStringLiteral("^%1$").arg(valuePattern));
        // The option's value for every module ("0.5"), or for one ("0.5,5=0").
        const auto optionValue = [&options](const QString &name, const QString &address = "0") -> std::optional<QString> {
            for (int i = 0; i + 1 < options.size(); ++i) {
                if (options[i] != name)
                    continue;
                std::optional<QString> value;
                for (const QString &item : options[i + 1].split(','))
                    if (!item.contains('='))
                        value = value.value_or(item);
                    else if (item.section('=', 0, 0) == address)
                        return item.section('=', 1);
                return value;
            }
            return std::nullopt;
        };
        const auto low = optionValue(QStringLiteral("--low"));
        const auto high = optionValue(QStringLiteral("--high"));
        const QString unit = optionValue(QStringLiteral("--unit")).value_or(QString());
        const double band = optionValue(QStringLiteral("--deadband")).value_or("0").toDouble();
        // Out beyond a limit; back within once the deadband inside it.
        const auto stateAfter = [&](const QString &before, double value) -> QString {
            if (high && value > high->toDouble())
                return QStringLiteral("high");
            if (low && value < low->toDouble())
                return QStringLiteral("low");
            if (before == "high" && value > high->toDouble() - band)
                return before;
            if (before == "low" && value < low->toDouble() + band)
                return before;
            return {};
        };
        const auto withUnit = [&unit](const QString &text) { return unit.isEmpty() ? text : text + ' ' + unit; };

        QStringList expected;
        std::map<QString, QString> state; // by address: "", "high" or "low"
        for (const QString &line : run.values) {
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
            const QString address = line.contains(' ') ? line.section(' ', 0, 0) : QStringLiteral("0");
            const QString value = line.section(' ', -1);
            const QString now = stateAfter(state[address], value.toDouble());
            if (now == state[address])
                continue;
            state[address] = now;
            expected << (now == "high"  ? QStringLiteral("address %1 above the high limit %2: %3").arg(address, withUnit(*high), withUnit(value))
                         : now == "low" ? QStringLiteral("address %1 below the low limit %2: %3").arg(address, withUnit(*low), withUnit(value))
                                        : QStringLiteral("address %1 back within limits: %2").arg(address, withUnit(value)));
        }
        QStringList said;
        for (const QString &line : run.errors.split('\n'))
            if (line.contains(QLatin1String(" limit")))
                said << line.mid(QStringLiteral("kvp-reader: ").size());
        QCOMPARE(said, expected);
        QVERIFY2(((!low || !high) && band == 0) || expected.size() >= 2, "the run crossed no limit: the wave is not what it was");

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.first(), QStringLiteral("time,address,value,scaled,unit,limit"));
        QCOMPARE(rows.size(), 61);
        std::map<QString, QString> logged; // by address, as stateAfter follows it
        for (int i = 1; i < rows.size(); ++i) {
            const QStringList columns = rows[i].split(',');
            QCOMPARE(columns.size(), 6);
            QCOMPARE(columns[3], run.values[i - 1].section(' ', -1));
            const double scaled = columns[2].toDouble() * scale + optionValue("--offset", columns[1]).value_or("0").toDouble();
            const int decimals = optionValue("--decimals", columns[1]).value_or("0").toInt();
            QVERIFY2(qAbs(columns[3].toDouble() - scaled) <= 0.5000001 * std::pow(10.0, -decimals), qPrintable(rows[i]));
            QCOMPARE(columns[4], unit);
            logged[columns[1]] = stateAfter(logged[columns[1]], columns[3].toDouble());
            QCOMPARE(columns[5], logged[columns[1]]);
        }
    }

    // A module that sends each reply twice, the copy right behind it: the copy is on
    // the line before the next command goes out, and answers nobody. Every value
    // printed is one its module sent.
    void repeatedReplyIsNobodysAnswer()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sent.txt"));
        Simulator sim({"--address", "3,7", "--pace", "--repeat", "0.2", "--log", log});
        const Finished run = runReader({"--console", "--port", sim.device(), "--address", "3,7", "--count", "300"}, 30000);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.size(), 300);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList sent = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        QStringList misplaced;
        for (const QString &line : run.values)
            if (!sent.contains(line))
                misplaced << line;
        QVERIFY2(misplaced.isEmpty(), qPrintable(misplaced.join(QStringLiteral("; "))));
    }

    // The value that completes --count is printed with what it crossed: the run that
    // ends on a crossing says it, as one that goes on would.
    void crossingByTheLastValueIsSaid()
    {
        const QStringList limits{"--high", "20"};
        const auto run = [&limits](int count) {
            Simulator sim({"--amplitude", "0"}); // the same noise, +-99, every time
            return runReader(QStringList{"--console", "--port", sim.device(), "--count", QString::number(count)} + limits);
        };
        const Finished first = run(40);
        QCOMPARE(first.exitCode, 0);
        qsizetype out = 0;
        while (out < first.values.size() && first.values[out].toInt() <= 20)
            ++out;
        QVERIFY2(out < first.values.size(), "no value went above the limit");
        const Finished endsThere = run(int(out) + 1);
        QCOMPARE(endsThere.values, first.values.first(out + 1));
        QVERIFY2(endsThere.errors.contains(QStringLiteral("address 0 above the high limit 20: %1").arg(first.values[out])),
                 qPrintable(endsThere.errors));
    }

    // These only print; they must never go on to open a port.
    void helpAndVersionOnlyPrint_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("says");
        QTest::newRow("--help") << "--help" << "--port";
        QTest::newRow("--help-all") << "--help-all" << "--port";
        QTest::newRow("--version") << "--version" << "kvp-reader";
    }

    void helpAndVersionOnlyPrint()
    {
        QFETCH(QString, option);
        QFETCH(QString, says);
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {option, "--port", "/dev/kvp-no-such-port"});
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitCode(), 0);
        QVERIFY(QString::fromUtf8(reader.readAllStandardOutput()).contains(says));
        QVERIFY(reader.readAllStandardError().isEmpty());
    }

    void usageErrorsExitTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");

        QTest::newRow("address out of range") << QStringList{"--console", "--address", "32"} << "--address";
        for (const char *address : {"abc", "0x1f", "1e1", "5x", "3.6", "&H1F"})
            QTest::addRow("address %s", address) << QStringList{"--console", "--address", address}
                                                 << "--address must be whole numbers from 0 to 31";
        QTest::newRow("an address twice") << QStringList{"--console", "--address", "3,0-4"} << "each once";
        QTest::newRow("a bus in the window") << QStringList{"--address", "3,7"} << "several addresses are read with";
        QTest::newRow("unknown option") << QStringList{"--console", "--baud", "9600"} << "baud";
        QTest::newRow("bad timeout") << QStringList{"--console", "--timeout", "0"} << "--timeout";
        QTest::newRow("bad count") << QStringList{"--console", "--count", "-3"} << "--count";
        QTest::newRow("port twice") << QStringList{"--console", "--port", "/dev/a", "--port", "/dev/b"}
                                    << "--port is given more than once";
        QTest::newRow("port twice, one with =") << QStringList{"--console", "--port=/dev/a", "--port", "/dev/a"}
                                                << "--port is given more than once";
        QTest::newRow("flag twice") << QStringList{"--console", "--simulate", "--simulate"}
                                    << "--simulate is given more than once";
        QTest::newRow("empty port") << QStringList{"--console", "--port", ""} << "--port needs a device";
        QTest::newRow("empty log") << QStringList{"--console", "--simulate", "--log", ""} << "--log needs";
        QTest::newRow("give-up not a number") << QStringList{"--console", "--give-up", "soon"} << "--give-up";
        QTest::newRow("give-up zero") << QStringList{"--console", "--give-up", "0"} << "--give-up";
        QTest::newRow("count without --console") << QStringList{"--count", "5"} << "--count works only with --console";
        QTest::newRow("give-up without --console") << QStringList{"--give-up", "5"} << "--give-up works only";
        QTest::newRow("--scan --count") << QStringList{"--console", "--scan", "--count", "5"} << "--count works only";
        QTest::newRow("scale not a number") << QStringList{"--console", "--scale", "nan"} << "--scale must be a number";
        QTest::newRow("scale with a comma") << QStringList{"--console", "--scale", "0,001"} << "'.' as the point";
        QTest::newRow("scale finer than 15 places") << QStringList{"--console", "--scale", "1e-16"} << "--scale must";
        QTest::newRow("scale 0") << QStringList{"--console", "--scale", "0"} << "--scale 0";
        QTest::newRow("offset infinite") << QStringList{"--console", "--offset", "inf"} << "--offset must be";
        QTest::newRow("decimals 10") << QStringList{"--console", "--decimals", "10"} << "from 0 to 9";
        QTest::newRow("decimals -1") << QStringList{"--console", "--decimals=-1"} << "from 0 to 9";
        QTest::newRow("unit with a line break") << QStringList{"--console", "--unit", "k\ng"} << "--unit must be";
        QTest::newRow("low above high") << QStringList{"--console", "--low", "5", "--high", "1"} << "--low 5 is above";
        QTest::newRow("deadband negative") << QStringList{"--console", "--high", "5", "--deadband", "-1"}
                                           << "--deadband -1: a deadband is a distance inside the limit";
        QTest::newRow("deadband not a number") << QStringList{"--console", "--deadband", "1,5"} << "--deadband must be";
        QTest::newRow("a module's own scale twice") << QStringList{"--console", "--scale", "0=0.01,0=0.02"}
                                                    << "--scale 0=0.02: address 0 is given twice";
        QTest::newRow("interval too long") << QStringList{"--console", "--interval", "3600001"} << "--interval";
        QTest::newRow("--scan --scale") << QStringList{"--console", "--scan", "--scale", "2"} << "--scan lists";
        QTest::newRow("units of a module not read") << QStringList{"--console", "--address", "3,5", "--scale", "9=2"}
                                                    << "9 is not an address of --address";
        QTest::newRow("one module's low above high") << QStringList{"--console", "--address", "3,5", "--low", "5=10",
                                                                    "--high", "5"} << "above --high 5 at address 5";
    }

    void usageErrorsExitTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const Finished run = runReader(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(says), qPrintable(run.errors));
    }

    void portErrorsExitOneWithTheirMessage_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "/dev/kvp-no-such-port" << "does not exist";
        QTest::newRow("not a serial port") << "/dev/null" << "/dev/null";
        QTest::newRow("the controlling terminal") << "/dev/tty" << "/dev/tty is a terminal, not a serial adapter";
        QTest::newRow("the system console") << "/dev/console" << "is a terminal, not a serial adapter";
        QTest::newRow("a name over the limit") << QStringLiteral("/dev/") + QString(300, QLatin1Char('a'))
                                               << "longer than this system allows";
        QTest::newRow("a path over the limit") << QStringLiteral("/tmp") + QStringLiteral("/a").repeated(3000)
                                               << "longer than this system allows";
    }

    void portErrorsExitOneWithTheirMessage()
    {
        QFETCH(QString, port);
        QFETCH(QString, says);
        const Finished run = runReader({"--console", "--port", port});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(says), qPrintable(run.errors));
        QVERIFY(run.values.isEmpty());
    }

    // A terminal the reader runs in is never taken for a port, even by its
    // /dev/pts name; a terminal that is not ours (the simulator's) is read.
    void ownTerminalIsRefused()
    {
        kvp::PseudoTerminal terminal;
        QVERIFY(terminal.isValid());
        QProcess reader;
        reader.setStandardInputFile(terminal.slavePath());
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", terminal.slavePath()});
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.exitCode(), 1);
        const QString errors = QString::fromUtf8(reader.readAllStandardError());
        QVERIFY2(errors.contains(QLatin1String("is a terminal, not a serial adapter")), qPrintable(errors));
        pollfd sent{terminal.masterFd(), POLLIN, 0};
        QCOMPARE(::poll(&sent, 1, 0), 0); // not a byte went to it
    }

    // Out of descriptors at any point of start-up: never blamed on another program.
    void outOfDescriptorsIsSaidSo()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizers' runtime needs descriptors of its own and fails first");
#endif
        Simulator sim({});
        bool said = false;
        for (int limit = 4; limit <= 8; ++limit) {
            QProcess reader;
            reader.setChildProcessModifier([limit] {
                const rlimit files{rlim_t(limit), rlim_t(limit)};
                ::setrlimit(RLIMIT_NOFILE, &files);
            });
            reader.start(QStringLiteral(KVP_READER), {"--console", "--port", sim.device(), "--count", "1"});
            QVERIFY(reader.waitForFinished(10000));
            const QString errors = QString::fromUtf8(reader.readAllStandardError());
            QVERIFY2(!errors.contains(QLatin1String("in use")) && !errors.contains(QLatin1String("19200")),
                     qPrintable(errors));
            said = said || errors.contains(QLatin1String("no file descriptor is left"));
        }
        QVERIFY(said);
    }

    // Where the values go can fail; the run then ends with status 1 and says what
    // failed and why, and the log never ends in half a row.
    void outputFailuresEndTheRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("says");
        QTest::newRow("log on a full device") << "log /dev/full" << "value log /dev/full; the log ends with its last "
                                                                   "whole row. Free some space, or choose another file. "
                                                                   "(No space left on device)";
        QTest::newRow("log hits the file size limit") << "log limited" << "(File too large)";
        QTest::newRow("log on a FIFO nothing reads") << "log fifo" << "It is a FIFO and nothing reads it";
        QTest::newRow("stdout on a full device") << "stdout /dev/full"
                                                 << "Cannot write the values to standard output; stopped reading. "
                                                    "Check where standard output goes (a full disk?). "
                                                    "(No space left on device)";
        QTest::newRow("stdout closed") << "stdout closed" << "standard output is closed";
        QTest::newRow("the scan, stdout closed") << "scan, stdout closed" << "standard output is closed";
        QTest::newRow("the list of ports, stdout /dev/full")
            << "list-ports, stdout /dev/full" << "Cannot write the list of serial ports to standard output";
        QTest::newRow("stdout's reader gone, SIGPIPE ignored") << "stdout broken"
                                                              << "the program reading standard output has gone";
    }

    void outputFailuresEndTheRun()
    {
        QFETCH(QString, how);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("values.csv"));
        QStringList arguments{"--console", "--simulate", "--count", "1000"};
        if (how.startsWith(QLatin1String("scan, ")))
            arguments = QStringList{"--scan", "--simulate"};
        else if (how.startsWith(QLatin1String("list-ports, ")))
            arguments = QStringList{"--list-ports"};
        how = how.section(QStringLiteral(", "), -1);
        QProcess reader;
        if (how == QLatin1String("log /dev/full")) {
            arguments << "--log" << "/dev/full";
        } else if (how == QLatin1String("log fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
            arguments << "--log" << log;
        } else if (how == QLatin1String("log limited")) {
            arguments << "--log" << log;
            reader.setChildProcessModifier([] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit size{300, 300}; // the header and a few rows, then a row cut short
                ::setrlimit(RLIMIT_FSIZE, &size);
            });
        } else if (how == QLatin1String("stdout /dev/full")) {
            reader.setStandardOutputFile(QStringLiteral("/dev/full"));
        } else if (how == QLatin1String("stdout closed")) {
            reader.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
        } else {
            reader.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0) {
                    ::dup2(ends[1], STDOUT_FILENO);
                    ::close(ends[0]);
                    ::close(ends[1]);
                }
                ::signal(SIGPIPE, SIG_IGN);
            });
        }
        reader.start(QStringLiteral(KVP_READER), arguments);
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 1);
        const QString errors = QString::fromUtf8(reader.readAllStandardError());
        QVERIFY2(errors.contains(says), qPrintable(errors));
        if (how == QLatin1String("log limited")) {
            QFile file(log);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            QVERIFY(text.endsWith('\n'));
            const QStringList rows = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QVERIFY(rows.size() > 1);
            const QRegularExpression row(QStringLiteral(R"(^\d{4}-\d\d-\d\dT[\d:.]+(Z|[+-]\d\d:\d\d),0,(-?\d+),\2,,$)"));
            for (const QString &r : rows.mid(1))
                QVERIFY2(row.match(r).hasMatch(), qPrintable(r));
        }
    }

    // A device that stays away ends a run with --give-up, and only then; the words
    // say whether another device came back in its place.
    void giveUpEndsTheWait_data()
    {
        QTest::addColumn<bool>("another");
        QTest::addColumn<QString>("says");
        QTest::newRow("nothing comes back") << false << "did not come back within 2 s (--give-up)";
        QTest::newRow("another device comes back")
            << true << "is another device now, and the one read before did not come back within 2 s (--give-up)";
    }

    void giveUpEndsTheWait()
    {
        QFETCH(bool, another);
        QFETCH(QString, says);
        PortLink link;
        auto sim = std::make_unique<Simulator>(QStringList{});
        QVERIFY(link.plug(sim->device()));
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER),
                     {"--console", "--port", link.path(), "--count", "100000", "--give-up", "2"});
        QVERIFY(reader.waitForReadyRead(5000));
        QVERIFY(link.unplug());
        sim.reset();
        kvp::PseudoTerminal someonesTerminal;
        if (another)
            QVERIFY(link.plug(someonesTerminal.slavePath()));
        QVERIFY(reader.waitForFinished(15000));
        QCOMPARE(reader.exitCode(), 1);
        const QString errors = QString::fromUtf8(reader.readAllStandardError());
        QCOMPARE(errors.count(QLatin1String("went away")), 1);
        QVERIFY2(errors.contains(says), qPrintable(errors));
    }

    // After an unplug, another terminal given the same path is left alone: not a
    // byte is written to it, and the reader says so once and goes on waiting.
    void anotherDeviceAtThePathIsLeftAlone()
    {
        PortLink link;
        QProcess reader;
        QByteArray errors;
        readThenUnplug(link, reader, errors);
        kvp::PseudoTerminal someonesTerminal;
        QVERIFY(link.plug(someonesTerminal.slavePath()));
        QTRY_VERIFY_WITH_TIMEOUT((errors += reader.readAllStandardError()).contains("as another device"), 5000);
        pollfd sent{someonesTerminal.masterFd(), POLLIN, 0};
        QCOMPARE(::poll(&sent, 1, 0), 0);
        QCOMPARE(reader.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(reader.processId()), SIGTERM);
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitCode(), 0);
        errors += reader.readAllStandardError();
        QCOMPARE(errors.count("as another device"), 1);
    }

    void portWithoutPermission()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty() || ::geteuid() != 0)
            QSKIP("needs root and setpriv to run the reader as another user");
        const QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(KVP_READER)};
        QProcess probe;
        probe.start(QStringLiteral("setpriv"), asNobody + QStringList{"--version"});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            QSKIP("the build folder is not reachable for another user");
        Simulator sim({});
        QProcess p;
        p.start(QStringLiteral("setpriv"), asNobody + QStringList{"--console", "--port", sim.device()});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(errors.contains(QLatin1String("No permission")) && errors.contains(QLatin1String("adduser")),
                 qPrintable(errors));
    }

    // The device going away is said once, and the reader waits for it instead of
    // ending; it still stops cleanly when asked.
    void simulatorGoingAwayIsWaitedFor()
    {
        PortLink link;
        QProcess reader;
        QByteArray errors;
        readThenUnplug(link, reader, errors);
        QCOMPARE(reader.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(reader.processId()), SIGTERM);
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitCode(), 0);
        errors += reader.readAllStandardError();
        QCOMPARE(errors.count("went away"), 1);
        QVERIFY(errors.contains(" commands, ")); // the run's summary
    }

    void unwritableLogIsRefusedBeforeReading()
    {
        const Finished run = runReader({"--console", "--simulate", "--log", "/proc/kvp-no-such-dir/values.csv"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(QLatin1String("/proc/kvp-no-such-dir/values.csv")), qPrintable(run.errors));
        QVERIFY(run.values.isEmpty());
    }

    // Without a display the command line is still read and answered; only the
    // window itself needs one, and says so in one line.
    void noDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errors");

        QTest::newRow("window") << QStringList{"--simulate"} << 1
                                << "kvp-reader: no display: set DISPLAY, or use --console\n";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2
                                        << "kvp-reader: Unknown option 'bogus'.\nTry 'kvp-reader --help'.\n";
        QTest::newRow("bad address") << QStringList{"--address", "40"} << 2
                                     << "kvp-reader: --address must be whole numbers from 0 to 31, each once, as one (5), "
                                        "a list (3,7,12) or ranges (0-4,9), not '40'\n"
                                        "Try 'kvp-reader --help'.\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "";
    }

    void noDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, errors);
        const Finished run = runReader(arguments, 15000, withoutDisplay());
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errors, errors);
    }

    // Reading on the console must not drag in the GUI libraries; the window does.
    void onlyTheWindowLoadsTheGui_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("gui");
        QTest::newRow("--console") << QStringList{"--console", "--simulate"} << false;
        // A port that cannot open keeps the window program waiting at its message box,
        // and never takes a port's lock that killing it could leave behind.
        QTest::newRow("window") << QStringList{"--port", "/dev/kvp-no-such-port"} << true;
    }

    void onlyTheWindowLoadsTheGui()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, gui);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess reader;
        reader.setProcessEnvironment(env);
        reader.start(QStringLiteral(KVP_READER), arguments);
        QVERIFY(reader.waitForStarted(5000));
        if (gui) {
            QTRY_VERIFY_WITH_TIMEOUT(mapsOf(reader).contains(QLatin1String("libQt6Widgets")), 5000);
        } else {
            QVERIFY2(reader.waitForReadyRead(5000), reader.readAllStandardError().constData()); // a value
        }
        const QString maps = mapsOf(reader);
        QVERIFY(maps.contains(QLatin1String("libQt6SerialPort")));
        QCOMPARE(maps.contains(QLatin1String("libQt6Gui")), gui);
        QCOMPARE(maps.contains(QLatin1String("libQt6Widgets")), gui);
        reader.terminate();
        if (!reader.waitForFinished(3000)) {
            reader.kill();
            reader.waitForFinished(3000);
        }
    }

    // kvp-reader copied away from its window program: the console still works, the
    // window says what is missing.
    void windowProgramMissing()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("bin/kvp-reader"));
        QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
        QVERIFY(QFile::copy(QStringLiteral(KVP_READER), copy));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess reader;
        reader.setProcessEnvironment(env);
        reader.start(copy, {"--port", "/dev/kvp-no-such-port"});
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitCode(), 1);
        const QString errors = QString::fromUtf8(reader.readAllStandardError());
        QVERIFY2(errors.startsWith(QLatin1String("kvp-reader: cannot start the window program "))
                     && errors.contains(QLatin1String("kvp-reader-window")),
                 qPrintable(errors));
    }

    // The kernel's console is never opened: named with --port it is refused, and the
    // list marks it. Which device is the console is made up here, by device number
    // (stat only): a pseudo-terminal of the test's own, or /dev/ttyS0 for the list,
    // which --list-ports finds in sysfs without opening any device.
    void systemConsoleIsRefusedAndMarked_data()
    {
        QTest::addColumn<QStringList>("arguments"); // PTY: the simulator's device
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("--console") << QStringList{"--console", "--port", "PTY"} << 1 << "PTY is the system console";
        QTest::newRow("--scan") << QStringList{"--scan", "--port", "PTY"} << 1 << "PTY is the system console";
        QTest::newRow("--list-ports") << QStringList{"--list-ports"} << 0 << "/dev/ttyS0  SYSTEM CONSOLE, never opened";
    }

    void systemConsoleIsRefusedAndMarked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        Simulator sim({});
        const QString console = arguments.contains("PTY") ? sim.device() : QStringLiteral("/dev/ttyS0");
        struct stat st {};
        if (::stat(QFile::encodeName(console).constData(), &st) != 0
            || !(console == sim.device() || runReader({"--list-ports"}).values.join('\n').contains(console)))
            QSKIP("no /dev/ttyS0 in this machine's port list");
        QTemporaryDir sys;
        QVERIFY(QDir(sys.path()).mkpath(QStringLiteral("console")) && QDir(sys.path()).mkpath(QStringLiteral("kvp9")));
        for (const auto &[name, text] : {std::pair{"console/active", QByteArray("tty0 kvp9\n")},
                                         {"kvp9/dev", QByteArray::number(major(st.st_rdev)) + ':'
                                                          + QByteArray::number(minor(st.st_rdev))}}) {
            QFile file(sys.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVP_SYS_CLASS_TTY"), sys.path());
        const Finished run = runReader(arguments.replaceInStrings(QStringLiteral("PTY"), sim.device()), 15000, env);
        QCOMPARE(run.exitCode, exitCode);
        const QString shown = run.errors + run.values.join(QLatin1Char('\n'));
        QVERIFY2(shown.contains(says.replace(QStringLiteral("PTY"), sim.device())), qPrintable(shown));
    }

    // However a reader ends, the next one on that pseudo-terminal reads; the window
    // and the scan end on a signal as the console does, by their own exit.
    void nextReaderReadsAfterOneWasEnded_data()
    {
        QTest::addColumn<QStringList>("program"); // the reader, or the reader as another user
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        const QStringList reader{KVP_READER}, asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", KVP_READER};
        QTest::newRow("console, SIGKILL") << reader << QStringList{"--console"} << int(SIGKILL);
        // Not root: the exclusive mode the killed reader left would refuse it.
        QTest::newRow("console of another user, SIGKILL") << asNobody << QStringList{"--console"} << int(SIGKILL);
        for (const auto &[name, signal] : {std::pair{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}}) {
            QTest::addRow("window, %s", name) << reader << QStringList{} << signal;
            QTest::addRow("scan, %s", name) << reader << QStringList{"--scan", "--timeout", "5000"} << signal;
        }
    }

    void nextReaderReadsAfterOneWasEnded()
    {
        QFETCH(QStringList, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        QProcess probe;
        probe.start(program.first(), program.mid(1) << "--version");
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0 || (program.size() > 1 && ::geteuid() != 0))
            QSKIP("needs root and setpriv, and a build folder another user may reach");
        Simulator sim({"--address", "31"});
        QFile::setPermissions(sim.device(), QFile::ReadOther | QFile::WriteOther | QFile::ReadOwner | QFile::WriteOwner);
        QTemporaryDir config;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        QProcess first, next;
        first.setProcessEnvironment(env);
        first.start(program.first(), program.mid(1) + arguments << "--port" << sim.device() << "--address" << "31");
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(first.processId()));
        const auto isPort = [&](const QFileInfo &fd) { return fd.symLinkTarget() == sim.device(); };
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot), isPort), 10000);
        QVERIFY2(program.size() == 1 || first.waitForReadyRead(5000), first.readAllStandardError().constData()); // the simulator has heard it
        ::kill(static_cast<pid_t>(first.processId()), signal);
        QVERIFY(first.waitForFinished(5000));
        if (signal != SIGKILL)
            QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        next.start(program.first(), program.mid(1) << "--console" << "--port" << sim.device() << "--address" << "31"
                                                    << "--count" << "1");
        QVERIFY(next.waitForFinished(10000));
        QVERIFY2(next.exitCode() == 0, next.readAllStandardError().constData());
        QCOMPARE(next.readAllStandardOutput().count('\n'), 1);
    }

    // Each way to ask the run to end ends it with its summary and status 0, also
    // while nobody takes standard output (a stalled pipe) or a --log FIFO.
    void terminationSignalExitsZero_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("stalled"); // what is not taken: "", "standard output", "the value log"
        for (const auto &[name, signal] : {std::pair{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}}) {
            for (const char *stalled : {"", "standard output", "the value log"})
                QTest::addRow("%s, %s stalled", name, stalled) << signal << QString::fromLatin1(stalled);
        }
    }

    void terminationSignalExitsZero()
    {
        QFETCH(int, signal);
        QFETCH(QString, stalled);
        Simulator sim({});
        QProcess reader;
        QStringList arguments{"--console", "--port", sim.device()};
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("values.fifo")));
        int fifoReader = -1; // held and never read
        if (stalled == QLatin1String("the value log")) {
            QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
            fifoReader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ::fcntl(fifoReader, F_SETPIPE_SZ, 4096);
            arguments << "--log" << fifo;
        } else if (stalled == QLatin1String("standard output")) {
            // A pipe of the least size whose reading end the reader holds itself and never reads.
            reader.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0) {
                    ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
                    ::dup2(ends[1], STDOUT_FILENO);
                    ::close(ends[1]);
                }
            });
        }
        reader.start(QStringLiteral(KVP_READER), arguments);
        const auto closeFifo = qScopeGuard([&] { ::close(fifoReader); });
        QByteArray errors;
        if (!stalled.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT((errors += reader.readAllStandardError()).contains("not taking"), 20000);
        else
            QVERIFY2(reader.waitForReadyRead(5000), reader.readAllStandardError().constData());
        ::kill(static_cast<pid_t>(reader.processId()), signal);
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 0);
        errors += reader.readAllStandardError();
        QVERIFY2(errors.contains(" commands, "), errors.constData()); // the run's summary
        if (!stalled.isEmpty())
            QVERIFY2(errors.contains(stalled.toUtf8() + (fifoReader < 0 ? "" : ' ' + fifo) + " is not taking"), errors.constData());
        QCOMPARE(errors.contains("not yet taken by standard output"), stalled == QLatin1String("standard output"));
    }
};

QTEST_GUILESS_MAIN(tst_console)
#include "tst_console.moc"
