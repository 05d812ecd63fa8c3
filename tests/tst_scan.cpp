// Finding the module over a real pseudo-terminal: the search on the port, and
// kvp-reader --scan against kvp-sim playing several modules on one line.
#include "app/ScanSession.h"
#include "serial/SerialLink.h"
#include "sim/SimulatedModule.h"

#include <QFileSystemWatcher>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>

#include <signal.h>

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
        QCOMPARE(progress.last().at(1).toInt(), progress.last().at(2).toInt()); // every address asked is done
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
        QTest::addColumn<QString>("simArguments");
        QTest::addColumn<QString>("readerArguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QList<int>>("addresses");
        QTest::addColumn<QString>("stderrHas");
        QList<int> all;
        QStringList allText;
        for (int a = 0; a < 32; ++a) {
            all << a;
            allText << QString::number(a);
        }
        QTest::newRow("three modules") << "--address 3,5,17" << "" << 0 << QList<int>{3, 5, 17} << QString();
        QTest::newRow("none answers") << "--address 3 --drop 1" << "" << 1 << QList<int>{}
                                      << QStringLiteral("no module answered");
        QTest::newRow("a slow module, asked again") << "--address 3 --turnaround 90" << "" << 0 << QList<int>{3}
                                                    << QString();
        QTest::newRow("late answers named") << "--address 3,9 --turnaround 600" << "" << 1 << QList<int>{}
                                            << QStringLiteral("addresses 3 and 9 on");
        QTest::newRow("garbled answers named") << "--address 4,5 --corrupt 1" << "" << 1 << QList<int>{}
                                               << QStringLiteral("answers from addresses 4 and 5 on");
        QTest::newRow("every address answers") << "--address " + allText.join(',') << "" << 0 << all
                                               << QStringLiteral("every address answered");
        QTest::newRow("output lost") << "--address 3" << ">/dev/full" << 1 << QList<int>{}
                                     << QStringLiteral("Cannot write the values to standard output");
    }
    void scanOptionEndToEnd()
    {
        QFETCH(QString, simArguments);
        QFETCH(QString, readerArguments);
        QFETCH(int, exitCode);
        QFETCH(QList<int>, addresses);
        QFETCH(QString, stderrHas);
        QProcess sim;
        sim.start(QStringLiteral(KVP_SIM), simArguments.split(' '));
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        QVERIFY(device.startsWith(QStringLiteral("/dev/")));

        QProcess reader;
        QStringList arguments{QStringLiteral("--scan"), QStringLiteral("--port"), device};
        if (readerArguments == QStringLiteral(">/dev/full"))
            reader.setStandardOutputFile(QStringLiteral("/dev/full"));
        else if (!readerArguments.isEmpty())
            arguments += readerArguments.split(' ');
        reader.start(QStringLiteral(KVP_READER), arguments);
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
            QVERIFY(err.contains(device) || readerArguments.startsWith('>'));
        }
    }

    // SIGTERM while the second pass asks again an answer the first heard right after
    // a silent address: that answer is printed and the status says a module answered.
    void signalInTheSecondPassKeepsAnAnswerHeard()
    {
        QTemporaryDir dir;
        const QString trace = dir.filePath(QStringLiteral("trace"));
        QProcess sim;
        // 50 ms: in time for the quick pass, and long enough for the signal to come first.
        sim.start(QStringLiteral(KVP_SIM), {"--address", "5", "--turnaround", "50", "--trace", trace});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        QFileSystemWatcher watcher({trace});
        QSignalSpy changed(&watcher, &QFileSystemWatcher::fileChanged);
        const auto queries = [&trace] {
            QFile file(trace);
            return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
        };
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {"--scan", "--port", device});
        // The second query of address 5 is the second pass's: end the scan before its answer.
        while (queries() < 2)
            QVERIFY(changed.wait(10000));
        ::kill(pid_t(reader.processId()), SIGTERM);
        QVERIFY(reader.waitForFinished(5000));
        sim.terminate();
        sim.waitForFinished(3000);
        QCOMPARE(reader.exitCode(), 0);
        const QString out = QString::fromUtf8(reader.readAllStandardOutput());
        QVERIFY2(QRegularExpression(QStringLiteral("^5 -?\\d+\n$")).match(out).hasMatch(), qPrintable(out));
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
