// Finding the module over a real pseudo-terminal: the search on the port, and
// kvp-reader --scan against kvp-sim playing several modules on one line.
#include "app/ScanSession.h"
#include "serial/SerialLink.h"
#include "sim/SimulatedModule.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <map>

using namespace kvp;

class tst_scan : public QObject
{
    Q_OBJECT

private slots:
    void searchFindsTheModulesOnTheLine_data()
    {
        QTest::addColumn<QList<int>>("modules");
        QTest::addColumn<double>("split");
        QTest::addColumn<double>("drop");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("one module") << QList<int>{3} << 0.0 << 0.0 << QList<int>{3};
        QTest::newRow("three on a bus") << QList<int>{3, 5, 17} << 0.0 << 0.0 << QList<int>{3, 5, 17};
        QTest::newRow("the first and last address") << QList<int>{0, 31} << 0.0 << 0.0 << QList<int>{0, 31};
        QTest::newRow("replies in pieces") << QList<int>{3, 5, 17} << 1.0 << 0.0 << QList<int>{3, 5, 17};
        QTest::newRow("a module that never answers") << QList<int>{9} << 0.0 << 1.0 << QList<int>{};
    }
    void searchFindsTheModulesOnTheLine()
    {
        QFETCH(QList<int>, modules);
        QFETCH(double, split);
        QFETCH(double, drop);
        QFETCH(QList<int>, found);
        SimulatorSettings sim;
        sim.address = modules.first();
        sim.moreAddresses.assign(modules.begin() + 1, modules.end());
        sim.split = split;
        sim.drop = drop;
        SimulatedModule module(sim);
        QVERIFY(module.isValid());
        std::map<int, std::int32_t> sent;
        module.module().setReplyObserver([&](const ModuleSimulator::Reply &r) {
            if (r.intact())
                sent[r.address] = r.value;
        });

        SerialLink link;
        PortSettings port;
        port.portName = module.devicePath();
        QCOMPARE(link.InitPort(port), Condition::none);
        ScanSession scan(link);
        QSignalSpy answers(&scan, &ScanSession::found);
        QSignalSpy finished(&scan, &ScanSession::finished);
        QSignalSpy progress(&scan, &ScanSession::progress);
        scan.start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);

        QList<int> addresses;
        for (const QList<QVariant> &answer : answers) {
            const int address = answer.at(0).toInt();
            addresses << address;
            QCOMPARE(answer.at(1).toString(), QString::number(sent[address]));
        }
        QCOMPARE(addresses, found);
        QCOMPARE(module.module().counters().setups, 0u); // the search sets no module up
        QCOMPARE(progress.last().at(1).toInt(), 32);
    }

    void cancelEndsTheSearchAndSendsNoMore()
    {
        SimulatorSettings sim;
        sim.address = 30;
        SimulatedModule module(sim);
        SerialLink link;
        PortSettings port;
        port.portName = module.devicePath();
        QCOMPARE(link.InitPort(port), Condition::none);
        ScanSession scan(link);
        QSignalSpy progress(&scan, &ScanSession::progress);
        QSignalSpy finished(&scan, &ScanSession::finished);
        scan.start();
        QTRY_VERIFY(progress.size() >= 3);
        scan.cancel();
        QCOMPARE(finished.size(), 1);
        QVERIFY(scan.cycle().cancelled());
        const auto asked = module.module().counters().queries + module.module().counters().ignored;
        QTest::qWait(300);
        QCOMPARE(module.module().counters().queries + module.module().counters().ignored, asked);
        QVERIFY(scan.cycle().found().empty());
    }

    void scanOptionEndToEnd_data()
    {
        QTest::addColumn<QStringList>("simArguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QList<int>>("addresses");
        QTest::addColumn<QString>("stderrHas");
        QTest::newRow("three modules") << QStringList{QStringLiteral("--address"), QStringLiteral("3,5,17")} << 0
                                       << QList<int>{3, 5, 17} << QString();
        QTest::newRow("none answers") << QStringList{QStringLiteral("--address"), QStringLiteral("3"),
                                                     QStringLiteral("--drop"), QStringLiteral("1")}
                                      << 1 << QList<int>{} << QStringLiteral("no module answered");
    }
    void scanOptionEndToEnd()
    {
        QFETCH(QStringList, simArguments);
        QFETCH(int, exitCode);
        QFETCH(QList<int>, addresses);
        QFETCH(QString, stderrHas);
        QProcess sim;
        sim.start(QStringLiteral(KVP_SIM), simArguments);
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        QVERIFY(device.startsWith(QStringLiteral("/dev/")));

        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {QStringLiteral("--scan"), QStringLiteral("--port"), device});
        QVERIFY(reader.waitForFinished(20000));
        sim.terminate();
        sim.waitForFinished(3000);
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(reader.readAllStandardError());
        QCOMPARE(reader.exitCode(), exitCode);
        const QStringList lines =
            QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), addresses.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(QStringLiteral("^%1 -?\\d+$").arg(addresses[i])).match(lines[i]).hasMatch(),
                     qPrintable(lines[i]));
        if (stderrHas.isEmpty()) {
            QVERIFY2(err.isEmpty(), qPrintable(err));
        } else {
            QVERIFY2(err.startsWith(QStringLiteral("kvp-reader: ")) && err.contains(stderrHas), qPrintable(err));
            QVERIFY(err.contains(device));
        }
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
