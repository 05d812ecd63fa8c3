#include "trend/TrendSeries.h"

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
        const std::string timed = series.csv(kEnd, 10s, [](TimePoint t) { return t == at(-9'000) ? "A" : "B"; });
        QCOMPARE(QString::fromStdString(timed), QStringLiteral("time,min,max,mean,count\nA,4,6,5.000,2\nB,,,,0\n"));
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
