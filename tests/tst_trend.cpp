#include "trend/TrendAxis.h"
#include "trend/TrendFigures.h"
#include "trend/TrendSeries.h"
#include "trend/TrendStore.h"

#include <QStringList>
#include <QTest>

#include <cmath>
#include <vector>

using namespace kvp;
using namespace std::chrono_literals;

namespace {

using TimePoint = TrendSeries::TimePoint;
using Duration = TrendSeries::Duration;

// A value this many milliseconds before (negative) or after the span's end.
struct Sample {
    int ms;
    std::int32_t value;
};
struct Stretch {
    int fromMs;
    int toMs;
};
using Samples = std::vector<Sample>;
using Stretches = std::vector<Stretch>;

const TimePoint kEnd = TimePoint{} + 1000h;

TimePoint at(int ms)
{
    return kEnd + std::chrono::milliseconds(ms);
}

TrendSeries seriesOf(const Samples &samples, const Stretches &stale = {})
{
    TrendSeries series;
    for (const Sample &s : samples)
        series.add(at(s.ms), s.value);
    for (const Stretch &s : stale)
        series.markStale(at(s.fromMs), at(s.toMs));
    return series;
}

// "." an empty column, "gap" a gap, "min:max/count" one with values.
QString picture(const std::vector<TrendColumn> &columns)
{
    QStringList out;
    for (const TrendColumn &c : columns)
        out << (c.gap() ? QStringLiteral("gap")
                        : c.count == 0 ? QStringLiteral(".")
                                       : QStringLiteral("%1:%2/%3").arg(c.min).arg(c.max).arg(c.count));
    return out.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Samples)
Q_DECLARE_METATYPE(Stretches)
Q_DECLARE_METATYPE(AxisRange)

class TestTrend : public QObject
{
    Q_OBJECT

private slots:
    void columns_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<Stretches>("stale");
        QTest::addColumn<int>("spanMs");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty") << Samples{} << Stretches{} << 10'000 << 4 << ". . . .";
        QTest::newRow("one sample") << Samples{{-4'000, 7}} << Stretches{} << 10'000 << 4 << ". . 7:7/1 .";
        QTest::newRow("more columns than samples")
            << Samples{{-9'000, 1}, {-5'000, 2}, {-1'000, 3}} << Stretches{} << 10'000 << 10
            << ". 1:1/1 . . . 2:2/1 . . . 3:3/1";
        QTest::newRow("min and max of a column")
            << Samples{{-9'990, 5}, {-9'000, -3}, {-8'000, 9}, {-7'600, 2}} << Stretches{} << 10'000 << 4
            << "-3:9/4 . . .";
        QTest::newRow("negative values") << Samples{{-100, -8'388'608}, {-50, -1}} << Stretches{} << 10'000 << 2
                                         << ". -8388608:-1/2";
        QTest::newRow("gap where stale")
            << Samples{{-9'500, 1}, {-500, 2}} << Stretches{{-7'500, -2'500}} << 10'000 << 4 << "1:1/1 gap gap 2:2/1";
        QTest::newRow("stale with values drawn, not a gap")
            << Samples{{-9'500, 1}, {-6'000, 4}} << Stretches{{-7'500, -6'000}} << 10'000 << 4 << "1:1/1 4:4/1 . .";
        QTest::newRow("stale but empty elsewhere is bridged")
            << Samples{{-9'500, 1}, {-500, 2}} << Stretches{{-7'000, -6'000}} << 10'000 << 4 << "1:1/1 gap . 2:2/1";
        QTest::newRow("value at the span's start") << Samples{{-10'000, 1}} << Stretches{} << 10'000 << 2 << "1:1/1 .";
        QTest::newRow("value a bucket before the start")
            << Samples{{-10'005, 1}} << Stretches{} << 10'000 << 2 << ". .";
        QTest::newRow("value at the span's end") << Samples{{0, 1}} << Stretches{} << 10'000 << 2 << ". 1:1/1";
        QTest::newRow("value a bucket after the end") << Samples{{5, 1}} << Stretches{} << 10'000 << 2 << ". .";
        QTest::newRow("column boundary")
            << Samples{{-5'005, 1}, {-5'000, 2}} << Stretches{} << 10'000 << 2 << "1:1/1 2:2/1";
        QTest::newRow("hour span, from the coarsest level")
            << Samples{{-3'500'000, 1}, {-2'000'000, 2}, {-1'000, 3}} << Stretches{} << 3'600'000 << 4
            << "1:1/1 2:2/1 . 3:3/1";
        QTest::newRow("five minutes, older than the finest level keeps")
            << Samples{{-290'000, 4}, {-200, 5}} << Stretches{} << 300'000 << 3 << "4:4/1 . 5:5/1";
        QTest::newRow("zero width") << Samples{{-1, 1}} << Stretches{} << 10'000 << 0 << "";
    }

    void columns()
    {
        QFETCH(Samples, samples);
        QFETCH(Stretches, stale);
        QFETCH(int, spanMs);
        QFETCH(int, width);
        QFETCH(QString, expected);
        const TrendSeries series = seriesOf(samples, stale);
        QCOMPARE(picture(series.columns(kEnd, std::chrono::milliseconds(spanMs), width)), expected);
    }

    void stats_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<int>("spanMs");
        QTest::addColumn<qulonglong>("count");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("rate");

        Samples steady; // 100 a second for the last 20 s: 1, 2, 3, ...
        for (int i = 0; i < 2'000; ++i)
            steady.push_back({-20'000 + i * 10, i + 1});

        QTest::newRow("empty") << Samples{} << 10'000 << 0ull << 0 << 0 << 0.0 << 0.0;
        QTest::newRow("one value") << Samples{{-10, -42}} << 10'000 << 1ull << -42 << -42 << -42.0 << 1.0 / 0.010;
        QTest::newRow("a part of the values") << steady << 10'000 << 1'000ull << 1'001 << 2'000 << 1'500.5 << 100.0;
        QTest::newRow("all of them, in a longer span")
            << steady << 60'000 << 2'000ull << 1 << 2'000 << 1'000.5 << 100.0;
        QTest::newRow("extremes of 24 bits") << Samples{{-20, 8'388'607}, {-10, -8'388'608}} << 10'000 << 2ull
                                             << -8'388'608 << 8'388'607 << -0.5 << 2.0 / 0.020;
        QTest::newRow("values before the span left out")
            << Samples{{-70'000, 1'000}, {-30, 1}, {-20, 3}} << 60'000 << 2ull << 1 << 3 << 2.0 << 2.0 / 0.030;
    }

    void stats()
    {
        QFETCH(Samples, samples);
        QFETCH(int, spanMs);
        QFETCH(qulonglong, count);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(double, mean);
        QFETCH(double, rate);
        const TrendStats s = seriesOf(samples).stats(kEnd, std::chrono::milliseconds(spanMs));
        QCOMPARE(s.count, count);
        if (count == 0)
            return;
        QCOMPARE(s.min, min);
        QCOMPARE(s.max, max);
        QCOMPARE(s.mean, mean);
        QCOMPARE(s.rate, rate);
    }

    void csvRows()
    {
        const TrendSeries series = seriesOf({{-9'000, 4}, {-8'998, 6}, {-10'500, 99}}, {{-5'000, -4'996}});
        const std::string csv = series.csv(kEnd, 10s);
        QCOMPARE(QString::fromStdString(csv), QStringLiteral("time,min,max,mean,count\n"
                                                             "-9.000,4,6,5.000,2\n"
                                                             "-5.000,,,,0\n"));
        const std::string timed = series.csv(kEnd, 10s, [](TimePoint t) { return t == at(-9'000) ? "A" : "B"; },
                                             [](const TrendBucket &b) { return "," + std::to_string(b.sum); });
        QCOMPARE(QString::fromStdString(timed), QStringLiteral("time,min,max,mean,count\nA,4,6,5.000,2,10\nB,,,,0,0\n"));
    }

    // Min, max and mean in the module's units, rounded once and exactly, half away
    // from zero, as the value is: never the double nearest to count × scale.
    void figuresAreExact_data()
    {
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("expected"); // min|max|mean
        QTest::newRow("15 at 0.001, 2 places") << QList<int>{15} << "0.001" << "0" << "0.02 kg|0.02 kg|0.015 kg";
        QTest::newRow("a mean half-way") << QList<int>{14, 15} << "0.001" << "0" << "0.01 kg|0.02 kg|0.015 kg";
        QTest::newRow("a mean half-way below zero") << QList<int>{-14, -15} << "0.001" << "0"
                                                    << "-0.02 kg|-0.01 kg|-0.015 kg";
        QTest::newRow("a negative scale turns them") << QList<int>{100, 300} << "-0.01" << "5" << "2.00 kg|4.00 kg|3.000 kg";
        QTest::newRow("an offset finer than the scale") << QList<int>{1, 2} << "0.01" << "0.0005"
                                                        << "0.01 kg|0.02 kg|0.016 kg";
        QTest::newRow("a third") << QList<int>{0, 0, 1} << "1" << "0" << "0.00 kg|1.00 kg|0.333 kg";
    }
    void figuresAreExact()
    {
        QFETCH(QList<int>, counts);
        QFETCH(QString, scale);
        QFETCH(QString, offset);
        QFETCH(QString, expected);
        const TrendFigures figures({*DecimalNumber::parse(scale.toStdString()), *DecimalNumber::parse(offset.toStdString()), 2, "kg"});
        Samples samples;
        for (int i = 0; i < counts.size(); ++i)
            samples.push_back({-1000 + 20 * i, counts[i]});
        const TrendStats s = seriesOf(samples).stats(kEnd, 10s);
        QCOMPARE(QString::fromStdString(figures.min(s) + "|" + figures.max(s) + "|" + figures.mean(s)), expected);
    }

    // Each module's line keeps its own gaps, and its history survives another
    // module joining or leaving, at a coarser or finer scale.
    void storeKeepsEachModulesOwn_data()
    {
        QTest::addColumn<QList<int>>("followedAfter"); // after the values went in
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("three");
        QTest::addColumn<QString>("seven");
        const QString three = QStringLiteral("1:1/1 gap gap 2:2/1"), seven = QStringLiteral("5:5/1 5:5/1 5:5/1 5:5/1");
        QTest::newRow("two modules") << QList<int>{3, 7} << 2 << three << seven;
        QTest::newRow("a third joins: same scale") << QList<int>{3, 7, 9} << 4 << three << seven;
        QTest::newRow("five: coarser, still whole") << QList<int>{1, 2, 3, 7, 9} << 8 << three << seven;
        QTest::newRow("seven leaves: three alone, finer") << QList<int>{3} << 1 << three << QString();
        QTest::newRow("three leaves: its history with it") << QList<int>{7} << 1 << QString() << seven;
    }
    void storeKeepsEachModulesOwn()
    {
        QFETCH(QList<int>, followedAfter);
        QFETCH(int, scale);
        QFETCH(QString, three);
        QFETCH(QString, seven);
        TrendStore store;
        store.follow({3, 7});
        store.add(3, at(-9'500), 1);
        store.setStale(3, true, at(-7'500)); // module 3 stops answering for 5 s
        store.setStale(3, false, at(-2'500));
        store.add(3, at(-500), 2);
        for (const int ms : {-9'000, -6'000, -4'000, -1'000})
            store.add(7, at(ms), 5);
        store.add(12, at(-1'000), 9); // not followed: not kept
        QVERIFY(!store.series(12));

        store.follow(std::vector<int>(followedAfter.begin(), followedAfter.end()));
        QCOMPARE(store.scale(), scale);
        QVERIFY(store.bytes() <= TrendSeries::capacity() * TrendSeries::bucketBytes());
        const auto pictureOf = [&](int address) {
            const TrendSeries *series = store.series(address);
            return series ? picture(series->columns(kEnd, 10s, 4)) : QString();
        };
        QCOMPARE(pictureOf(3), three);
        QCOMPARE(pictureOf(7), seven);
    }

    // However many modules, the trend keeps about one series' worth.
    void storeStaysBounded_data()
    {
        QTest::addColumn<int>("modules");
        for (const int n : {1, 2, 3, 8, 17, 32, 40})
            QTest::addRow("%d modules", n) << n;
    }
    void storeStaysBounded()
    {
        QFETCH(int, modules);
        TrendStore store;
        std::vector<int> all;
        for (int a = 0; a < modules; ++a)
            all.push_back(a);
        store.follow(all);
        QCOMPARE(static_cast<int>(store.addresses().size()), std::min(modules, TrendStore::kMostModules));
        QVERIFY2(store.bytes() <= 1'100'000, qPrintable(QString::number(store.bytes())));
        // A minute at a value per 2 ms for each, and the minute is all there still.
        for (auto t = kEnd - 60s; t < kEnd; t += 2ms)
            for (const int a : store.addresses())
                store.add(a, t, a);
        for (const int a : store.addresses())
            QCOMPARE(store.series(a)->stats(kEnd, 60s).count, 30'000ull);
    }

    void niceRanges_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<AxisRange>("expected");
        QTest::newRow("0 to 100") << 0.0 << 100.0 << AxisRange{0, 100, 50};
        QTest::newRow("awkward: 13 to 87") << 13.0 << 87.0 << AxisRange{0, 100, 20};
        QTest::newRow("negative") << -1234.0 << -1001.0 << AxisRange{-1300, -1000, 100};
        QTest::newRow("across zero") << -3.0 << 7.0 << AxisRange{-5, 10, 5};
        QTest::newRow("24-bit extremes") << -8'388'608.0 << 8'388'607.0 << AxisRange{-1e7, 1e7, 5e6};
        QTest::newRow("a flat line") << 500.0 << 500.0 << AxisRange{490, 510, 5};
        QTest::newRow("flat at zero") << 0.0 << 0.0 << AxisRange{-1, 1, 0.5};
        QTest::newRow("small steps") << 0.11 << 0.19 << AxisRange{0.1, 0.2, 0.02};
    }
    void niceRanges()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(AxisRange, expected);
        const AxisRange r = TrendAxis::niceRange(min, max);
        QCOMPARE(r.low, expected.low);
        QCOMPARE(r.high, expected.high);
        QCOMPARE(r.step, expected.step);
        const double m = r.step / std::pow(10.0, std::floor(std::log10(r.step)));
        QVERIFY2(qFuzzyCompare(m, 1.0) || qFuzzyCompare(m, 2.0) || qFuzzyCompare(m, 5.0), qPrintable(QString::number(m)));
    }

    // Redraw after redraw with values that wiggle, the axis keeps its numbers; it
    // moves once the values leave it or shrink to a corner of it.
    void valueAxisHoldsStill_data()
    {
        QTest::addColumn<QList<double>>("minMaxPairs"); // one pair per redraw
        QTest::addColumn<int>("changes");              // times the range moved after the first
        QTest::newRow("a wave that wiggles") << QList<double>{100, 200, 101, 199, 98, 203, 104, 196, 99, 201} << 0;
        QTest::newRow("a step up, then steady") << QList<double>{100, 200, 100, 400, 100, 401, 100, 398} << 1;
        QTest::newRow("values shrink to a tenth") << QList<double>{0, 1000, 0, 1000, 400, 450, 401, 449} << 1;
        QTest::newRow("a slow drift") << QList<double>{0, 100, 5, 105, 10, 110, 20, 120, 40, 140, 60, 160} << 1;
    }
    void valueAxisHoldsStill()
    {
        QFETCH(QList<double>, minMaxPairs);
        QFETCH(int, changes);
        TrendAxis axis;
        AxisRange last = axis.fit(minMaxPairs[0], minMaxPairs[1]);
        int moved = 0;
        for (int i = 2; i + 1 < minMaxPairs.size(); i += 2) {
            const AxisRange r = axis.fit(minMaxPairs[i], minMaxPairs[i + 1]);
            QVERIFY(r.low <= minMaxPairs[i] && r.high >= minMaxPairs[i + 1]);
            moved += r == last ? 0 : 1;
            last = r;
        }
        QCOMPARE(moved, changes);
    }

    void timeTicks_data()
    {
        QTest::addColumn<int>("spanSeconds");
        QTest::addColumn<double>("step");
        QTest::newRow("10 s") << 10 << 2.0;
        QTest::newRow("30 s") << 30 << 5.0;
        QTest::newRow("1 min") << 60 << 10.0;
        QTest::newRow("5 min") << 300 << 60.0;
        QTest::newRow("10 min") << 600 << 120.0;
        QTest::newRow("30 min") << 1800 << 300.0;
        QTest::newRow("1 h") << 3600 << 600.0;
    }
    void timeTicks()
    {
        QFETCH(int, spanSeconds);
        QFETCH(double, step);
        QCOMPARE(TrendAxis::timeStep(spanSeconds), step);
    }

    void anHourAtFullSpeedStaysBounded()
    {
        // An hour of values at 12,000 a second, unpaced, as a wave.
        TrendSeries series;
        const TimePoint start = kEnd - 1h;
        constexpr std::int64_t kRate = 12'000;
        constexpr std::int64_t kValues = kRate * 3'600;
        for (std::int64_t i = 0; i < kValues; ++i) {
            const auto value = static_cast<std::int32_t>(i % 24'000) - 12'000;
            series.add(start + std::chrono::nanoseconds(i * 1'000'000'000 / kRate), value);
        }
        QVERIFY(series.storedBuckets() <= TrendSeries::capacity());
        QVERIFY(TrendSeries::capacity() * TrendSeries::bucketBytes() <= 1'100'000);

        // Nothing of the hour is lost to the bound: every value is still counted.
        const TrendStats hour = series.stats(kEnd, 1h);
        QCOMPARE(hour.count, std::uint64_t(kValues));
        QCOMPARE(hour.min, -12'000);
        QCOMPARE(hour.max, 11'999);
        QCOMPARE(std::round(hour.rate), 12'000.0);
        // 4 s columns: eight whole buckets each.
        const auto cols = series.columns(kEnd, 1h, 900);
        QVERIFY(std::all_of(cols.begin(), cols.end(), [](const TrendColumn &c) { return c.count == 48'000; }));

        // Going on for another twenty minutes, a value in every finest bucket, fills
        // every ring and no more.
        for (auto t = kEnd; t < kEnd + 20min; t += 5ms)
            series.add(t, 0);
        QCOMPARE(series.storedBuckets(), TrendSeries::capacity());
        QCOMPARE(series.resolutionFor(kEnd + 20min, 10s), Duration(5ms));
        QCOMPARE(series.resolutionFor(kEnd + 20min, 1h), Duration(500ms));
    }
};

QTEST_GUILESS_MAIN(TestTrend)
#include "tst_trend.moc"
