// How a module's count is shown (scale, offset, decimals) and watched against limits.
#include "platform/ValueLog.h"
#include "reader/Readouts.h"

#include <QFile>
#include <QTemporaryDir>

#include <QTest>

using namespace kvp;

class tst_readout : public QObject
{
    Q_OBJECT

private slots:
    void shownValue_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("shown");

        QTest::newRow("nothing set: the count as it is") << "1" << "0" << 0 << -8388608 << "-8388608";
        QTest::newRow("0.001, 3 decimals") << "0.001" << "0" << 3 << 51234 << "51.234";
        QTest::newRow("half-way up, though 1.005 is no double") << "0.001" << "0" << 2 << 1005 << "1.01";
        QTest::newRow("half-way away from zero, negative") << "0.001" << "0" << 2 << -1005 << "-1.01";
        QTest::newRow("just below half-way") << "0.001" << "0" << 2 << 1004 << "1.00";
        QTest::newRow("no minus zero") << "0.001" << "0" << 2 << -4 << "0.00";
        QTest::newRow("no minus zero, 0 decimals") << "0.1" << "0" << 0 << -4 << "0";
        QTest::newRow("0 decimals rounds half away") << "0.5" << "0" << 0 << -3 << "-2";
        QTest::newRow("offset") << "0.1" << "-5" << 1 << 51 << "0.1";
        QTest::newRow("offset below zero") << "0.1" << "-5" << 1 << 48 << "-0.2";
        QTest::newRow("offset finer than the scale") << "1" << "0.25" << 1 << -1 << "-0.8";
        QTest::newRow("more decimals than the scale has") << "0.5" << "0" << 3 << 3 << "1.500";
        QTest::newRow("exponent form") << "2.5e-3" << "0" << 4 << 3 << "0.0075";
        QTest::newRow("largest count, tiniest scale") << "1e-15" << "0" << 9 << 8388607 << "0.000000008";
        QTest::newRow("largest count, widest scale") << "999999999999999" << "0" << 0 << 8388607
                                                   << "8388606999999991611393";
        QTest::newRow("most decimals, widest offset") << "0.000000000000001" << "-999999999999999" << 9 << -8388608
                                                    << "-999999999999999.000000008";
    }

    void shownValue()
    {
        QFETCH(QString, scale);
        QFETCH(QString, offset);
        QFETCH(int, decimals);
        QFETCH(int, raw);
        QFETCH(QString, shown);
        EngineeringUnits units;
        units.scale = *DecimalNumber::parse(scale.toStdString());
        units.offset = *DecimalNumber::parse(offset.toStdString());
        units.decimals = decimals;
        QCOMPARE(QString::fromStdString(units.text(raw)), shown);
        QCOMPARE(units.value(raw), shown.toDouble()); // what limits are held against is what is shown
    }

    void numbersTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read"); // empty: refused
        QTest::newRow("plain") << "0.001" << "0.001";
        QTest::newRow("sign and trailing zeros") << "+2.50" << "2.5";
        QTest::newRow("minus zero") << "-0.0" << "0";
        QTest::newRow("no leading digit") << ".5" << "0.5";
        QTest::newRow("exponent up") << "5e3" << "5000";
        QTest::newRow("15 digits") << "123456789.012345" << "123456789.012345";
        for (const char *bad : {"", "nan", "inf", "-inf", "0,001", "1e", ".", "1.2.3", " 1", "1 ", "--1", "0x10",
                                "1e-16", "1234567890123456", "1e999"})
            QTest::addRow("refused: '%s'", bad) << bad << "";
    }

    void numbersTyped()
    {
        QFETCH(QString, text);
        QFETCH(QString, read);
        const auto number = DecimalNumber::parse(text.toStdString());
        QCOMPARE(number ? QString::fromStdString(number->text()) : QString(), read);
    }

    // Said once on the way out, once on the way back, nothing while a value stays.
    void limitCrossings_data()
    {
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("deadband");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("within: nothing") << "10" << "50" << "0" << QList<double>{20, 30, 10, 50} << QStringList{};
        QTest::newRow("out once, back once") << "10" << "50" << "0" << QList<double>{20, 60, 70, 60, 40, 45}
                                             << QStringList{"above", "within"};
        QTest::newRow("both limits, each crossing") << "10" << "50" << "0" << QList<double>{60, 5, 5, 20, 51}
                                                    << QStringList{"above", "below", "within", "above"};
        QTest::newRow("the first value already out") << "10" << "" << "0" << QList<double>{9.999, 9} << QStringList{"below"};
        QTest::newRow("high only") << "" << "-1.5" << "0" << QList<double>{-2, -1.4, -1.5} << QStringList{"above", "within"};
        QTest::newRow("no limits") << "" << "" << "0" << QList<double>{-1e9, 1e9} << QStringList{};
        QTest::newRow("deadband: noise at the high limit is one crossing")
            << "" << "50000" << "100" << QList<double>{49990, 50010, 49995, 50005, 49950, 49900, 50001}
            << QStringList{"above", "within", "above"};
        QTest::newRow("deadband: noise at the low limit is one crossing")
            << "10" << "" << "1" << QList<double>{9, 10.5, 9.5, 10.99, 11, 10.5, 9.99}
            << QStringList{"below", "within", "below"};
        QTest::newRow("deadband: above straight to below") << "10" << "50" << "5" << QList<double>{60, 9, 12, 16}
                                                           << QStringList{"above", "below", "within"};
        QTest::newRow("deadband: no noise, the same as without") << "10" << "50" << "0.5"
                                                                 << QList<double>{20, 60, 40} << QStringList{"above", "within"};
    }

    void limitCrossings()
    {
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QList<double>, values);
        QFETCH(QString, deadband);
        QFETCH(QStringList, said);
        ValueLimits limits;
        limits.deadband = *DecimalNumber::parse(deadband.toStdString());
        if (!low.isEmpty())
            limits.low = DecimalNumber::parse(low.toStdString());
        if (!high.isEmpty())
            limits.high = DecimalNumber::parse(high.toStdString());
        LimitWatcher watcher;
        QStringList crossings;
        for (const double v : values)
            if (const auto crossed = watcher.observe(limits, v))
                crossings << (*crossed == LimitState::above ? "above" : *crossed == LimitState::below ? "below" : "within");
        QCOMPARE(crossings, said);
    }

    // A unit is the user's text: one with a comma or a quote stays one CSV field.
    void logQuotesTheUnit()
    {
        QTemporaryDir dir;
        ValueLog log;
        QVERIFY(log.open(dir.filePath(QStringLiteral("values.csv"))));
        QVERIFY(log.append(2, QStringLiteral("1500"), {QStringLiteral("1.5"), QStringLiteral("N, \"net\""), QStringLiteral("high")}));
        log.close();
        QFile file(dir.filePath(QStringLiteral("values.csv")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith(",2,1500,1.5,\"N, \"\"net\"\"\",high\n"));
    }

    // Each module has its own units and its own watch; others take the defaults.
    void perModule()
    {
        Readouts readouts;
        ReadoutSettings kg;
        kg.units.scale = {1, 3};
        kg.units.decimals = 3;
        kg.limits.high = DecimalNumber{50, 0};
        readouts.setDefaults(kg);
        ReadoutSettings raw;
        raw.limits.high = DecimalNumber{100, 0};
        readouts.set(7, raw);
        QCOMPARE(readouts.take(3, 51234).text, std::string("51.234"));
        QCOMPARE(readouts.take(7, 51234).crossed, std::optional(LimitState::above));
        QCOMPARE(readouts.take(3, 51235).crossed, std::nullopt); // still above: said before
        QCOMPARE(readouts.take(7, 99).crossed, std::optional(LimitState::within));
        QCOMPARE(readouts.last(7)->text, std::string("99"));
        readouts.set(7, kg); // the defaults again: no settings of its own
        QVERIFY(readouts.own().empty());
        QCOMPARE(readouts.last(7)->text, std::string("0.099"));
    }

    // The log's column says what standard error said: out, inside the deadband too.
    void limitColumnFollowsTheDeadband()
    {
        Readouts readouts;
        ReadoutSettings watched;
        watched.limits.high = DecimalNumber{50, 0};
        watched.limits.deadband = DecimalNumber{10, 0};
        readouts.setDefaults(watched);
        QCOMPARE(readouts.take(3, 60).limit, LimitState::above);
        const Reading inside = readouts.take(3, 45);
        QCOMPARE(inside.limit, LimitState::above);
        QCOMPARE(inside.crossed, std::nullopt);
        QCOMPARE(readouts.last(3)->limit, LimitState::above);
        QCOMPARE(readouts.take(3, 40).limit, LimitState::within);
    }
};

QTEST_GUILESS_MAIN(tst_readout)
#include "tst_readout.moc"
