// The trend panel: a line per module with its own gaps, round ticks that hold
// still, titles with units, the theme, the saved picture, what is remembered, and
// the chart library loaded only when the trend opens (and missing, said so).
#include "app/Remembered.h"
#include "sim/SimulatedModule.h"
#include "ui/TrendChartLoader.h"
#include "ui/TrendColours.h"
#include "ui/TrendExport.h"
#include "ui/TrendPanel.h"
#include "ui/WindowExtras.h"
#include "ui/frmMain.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace kvp;
using namespace std::chrono_literals;

namespace {

using TimePoint = TrendSeries::TimePoint;

// A panel on screen, paused at `now`, with 70 s of values every 50 ms for each of
// `modules` (module a's values around 100 * a, or `constant`), module `silent` stale
// from 40 to 30 s ago.
struct Panel {
    explicit Panel(const std::vector<int> &modules, int current, int silent = -1,
                   std::optional<std::int32_t> constant = std::nullopt)
    {
        panel.resize(468, TrendPanel::kHeight);
        panel.follow(modules, current);
        panel.show();
        panel.setPaused(true);
        for (const int a : modules) {
            for (double ago = 70; ago > 0.05; ago -= 0.05)
                if (a != silent || ago > 40 || ago <= 30)
                    panel.addValue(a, at(ago), constant.value_or(100 * a + static_cast<int>(ago) % 7));
            if (a == silent) {
                panel.setStale(a, true, at(40));
                panel.setStale(a, false, at(30));
            }
        }
        panel.setPaused(false);
        panel.setPaused(true);
    }
    TimePoint at(double secondsAgo) const
    {
        return now - std::chrono::duration_cast<TrendSeries::Duration>(std::chrono::duration<double>(secondsAgo));
    }
    QStringList lines() const
    {
        QStringList out;
        for (const auto &line : panel.shownPicture().lines)
            out << QStringLiteral("%1:%2").arg(line.address).arg(line.runs.size());
        return out;
    }
    QString statsLine() const { return panel.findChild<QLabel *>(QStringLiteral("TrendStats"))->text(); }
    QStringList csv()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trend.csv"));
        QFile file(path);
        if (!panel.saveCsv(path).isEmpty() || !file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    TimePoint now = TrendSeries::Clock::now();
    TrendPanel panel;
};

EngineeringUnits unitsOf(const char *scale, const char *offset, int decimals, const char *unit)
{
    return {*DecimalNumber::parse(scale), *DecimalNumber::parse(offset), decimals, unit};
}

QString mapsOf(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? QString::fromUtf8(maps.readAll()) : QString();
}

} // namespace

class tst_trendpanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        TrendChartLoader::setPath(QStringLiteral(KVP_TREND_CHART));
    }

    // Runs first, before anything loads the library: without it the trend says why,
    // on the status line and in the chart's place, and the window goes on.
    void aMissingChartLibraryIsSaid_data()
    {
        QTest::addColumn<QString>("file"); // in a folder of the test's own
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "kvp-trend-chart.so" << "不存在";
        QTest::newRow("not a library") << "junk.so" << "junk.so";
    }
    void aMissingChartLibraryIsSaid()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        if (file.startsWith(QLatin1String("junk"))) {
            QFile junk(path);
            QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not ELF") > 0);
        }
        TrendChartLoader::setPath(path);
        SimulatedModule module(SimulatorSettings{});
        PortSettings port;
        port.portName = module.devicePath();
        frmMain window(port, CycleSettings{});
        QVERIFY(window.Form_Load());
        window.show();
        window.extras()->setTrendOpen(true);
        QVERIFY(TrendChartLoader::tried());
        const QString note = window.extras()->trendNote();
        QVERIFY2(note.contains(path) && note.contains(reason) && note.contains(QStringLiteral("重新安装")), qPrintable(note));
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("TrendNote"))->isVisible());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("TrendChartMissing"))->text(), note);
        // A picture that cannot be drawn leaves the file it was to replace as it was.
        QTemporaryDir out;
        QFile old(out.filePath(QStringLiteral("t.png")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the picture of yesterday") > 0);
        old.close();
        QCOMPARE(window.extras()->trend()->savePng(old.fileName()), note);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the picture of yesterday"));
        window.extras()->trend()->redraw(); // and draws on without a chart
        TrendChartLoader::setPath(QStringLiteral(KVP_TREND_CHART));
    }

    void aLinePerModuleWithItsOwnGaps_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("silent");
        QTest::addColumn<QStringList>("lines"); // address:runs
        QTest::newRow("all, one silent a while") << true << 7 << QStringList{"3:1", "7:2", "9:1"};
        QTest::newRow("all, the box's silent") << true << 3 << QStringList{"3:2", "7:1", "9:1"};
        QTest::newRow("this module, another silent") << false << 9 << QStringList{"7:1"};
        QTest::newRow("this module, silent") << false << 7 << QStringList{"7:2"};
    }
    void aLinePerModuleWithItsOwnGaps()
    {
        QFETCH(bool, all);
        QFETCH(int, silent);
        QFETCH(QStringList, lines);
        Panel p({3, 7, 9}, 7, silent);
        p.panel.setAllModules(all);
        QCOMPARE(p.lines(), lines);
        QCOMPARE(p.panel.shownStats().min, 700); // the box's module
        const auto &shown = p.panel.shownPicture().lines;
        QCOMPARE(QSet<QRgb>({shown.first().colour.rgb(), shown.last().colour.rgb()}).size(), shown.size() > 1 ? 2 : 1);
        QCOMPARE(p.panel.findChild<QLabel *>(QStringLiteral("TrendLegend"))->isVisible(), all);
    }

    // Read as a bus, each module's line has its own gaps: one that does not answer is
    // a gap throughout, the others only once reading stops.
    void aBusHasAGapPerModule()
    {
        SimulatedModule module(SimulatorSettings{.address = 3, .moreAddresses = {7}});
        PortSettings port;
        port.portName = module.devicePath();
        frmMain window(port, CycleSettings{});
        window.setAddressText(QStringLiteral("3"));
        window.extras()->modules()->setAddresses({3, 7, 9}); // 9 is not on the line
        QVERIFY(window.Form_Load());
        window.show();
        window.extras()->setTrendOpen(true);
        TrendPanel &trend = *window.extras()->trend();
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        // Over the last 4 s, in 4 columns: "v" values, "g" a gap, "." neither.
        const auto shape = [&](int address) {
            trend.redraw();
            QString out;
            for (const TrendColumn &c : trend.store().series(address)->columns(TrendSeries::Clock::now(), 4s, 4))
                out += c.count > 0 ? QLatin1Char('v') : c.gap() ? QLatin1Char('g') : QLatin1Char('.');
            return out;
        };
        QTRY_COMPARE_WITH_TIMEOUT(shape(3), QStringLiteral("vvvv"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(shape(9), QStringLiteral("gggg"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(shape(7), QStringLiteral("vvvv"), 10000); // while 9 is asked less often
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Stop")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(shape(3).right(1), QStringLiteral("g"), 10000);
        // Module 7 is asked after 3: its last value may be a turn later.
        QTRY_COMPARE_WITH_TIMEOUT(shape(7).right(1), QStringLiteral("g"), 2000);
        QCOMPARE(trend.shownPicture().lines.size(), 3);
    }

    // Ticks are round, and redraw after redraw of a running trend the axes keep them.
    void ticksAreRoundAndHoldStill_data()
    {
        QTest::addColumn<int>("spanSeconds");
        QTest::addColumn<double>("timeStep");
        QTest::newRow("1 min") << 60 << 10.0;
        QTest::newRow("10 min") << 600 << 120.0;
    }
    void ticksAreRoundAndHoldStill()
    {
        QFETCH(int, spanSeconds);
        QFETCH(double, timeStep);
        Panel p({3, 7}, 3);
        p.panel.setSpan(std::chrono::seconds(spanSeconds));
        p.panel.setPaused(false);
        const TrendPicture first = p.panel.shownPicture();
        QCOMPARE(first.time, (AxisRange{-double(spanSeconds), 0, timeStep}));
        QCOMPARE(first.value, (AxisRange{200, 800, 200}));
        for (int i = 0; i < 20; ++i) {
            p.panel.addValue(3, TrendSeries::Clock::now(), 300 + i % 7);
            p.panel.redraw();
            QCOMPARE(p.panel.shownPicture().value, first.value);
        }
    }

    void axisTitlesCarryTheUnit_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<double>("scale"); // 0: the panel's unit alone, no readouts
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("mixed"); // a second module in newtons
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("figure");
        QTest::addColumn<double>("top"); // the highest point of module 3's line
        QTest::newRow("no unit") << "" << 0.0 << 0.0 << false << "数值" << "最小 300   最大 306   平均" << 306.0;
        QTest::newRow("millivolt") << "mV" << 0.0 << 0.0 << false << "数值 (mV)" << "最小 300 mV   最大" << 306.0;
        QTest::newRow("scaled to kg") << "kg" << 0.001 << 0.0 << false << "数值 (kg)"
                                      << "最小 0.300 kg   最大 0.306 kg   平均" << 0.306;
        QTest::newRow("a negative scale turns min and max") << "" << -1.0 << 1000.0 << false << "数值"
                                                            << "最小 694.000   最大 700.000" << 700.0;
        QTest::newRow("modules in different units") << "kg" << 0.001 << 0.0 << true << "数值"
                                                    << "最小 0.300 kg" << 0.306;
    }
    void axisTitlesCarryTheUnit()
    {
        QFETCH(QString, unit);
        QFETCH(double, scale);
        QFETCH(double, offset);
        QFETCH(bool, mixed);
        QFETCH(QString, title);
        QFETCH(QString, figure);
        QFETCH(double, top);
        Panel p(mixed ? std::vector<int>{3, 7} : std::vector<int>{3}, 3);
        if (scale == 0)
            p.panel.setUnit(unit);
        else
            p.panel.setReadouts([=](int address) {
                return address == 7 ? unitsOf("1", "0", 0, "N")
                                    : EngineeringUnits{*DecimalNumber::parse(QByteArray::number(scale).toStdString()),
                                                       *DecimalNumber::parse(QByteArray::number(offset).toStdString()),
                                                       3, unit.toStdString()};
            });
        p.panel.redraw();
        QCOMPARE(p.panel.shownPicture().valueTitle, title);
        QCOMPARE(p.panel.shownPicture().timeTitle, QStringLiteral("时间 (秒)"));
        QVERIFY2(p.statsLine().contains(figure), qPrintable(p.statsLine()));
        double highest = -1e9;
        for (const auto &run : p.panel.shownPicture().lines.front().runs)
            for (const QPointF &point : run)
                highest = std::max(highest, point.y());
        QCOMPARE(highest, top);
        QVERIFY(p.panel.shownPicture().value.high >= top && p.panel.shownPicture().value.low <= top);
    }

    // The trend says what the value says: the same exact decimals in its figures,
    // caption, CSV, line and axis, where binary floating point would round otherwise.
    void theTrendSaysWhatTheValueSays_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("scale");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("shown");
        QTest::newRow("15 at 0.001") << 15 << "0.001" << "0" << "0.02";
        QTest::newRow("1005 at 0.001") << 1005 << "0.001" << "0" << "1.01";
        QTest::newRow("-15 at 0.001") << -15 << "0.001" << "0" << "-0.02";
        QTest::newRow("15 at -0.001") << 15 << "-0.001" << "0" << "-0.02";
        QTest::newRow("an offset") << 1 << "0.01" << "0.005" << "0.02";
    }
    void theTrendSaysWhatTheValueSays()
    {
        QFETCH(int, count);
        QFETCH(QString, scale);
        QFETCH(QString, offset);
        QFETCH(QString, shown);
        const EngineeringUnits units = unitsOf(qPrintable(scale), qPrintable(offset), 2, "kg");
        QCOMPARE(QString::fromStdString(units.text(count)), shown); // as the value shows it
        Panel p({3}, 3, -1, count);
        p.panel.setReadouts([&](int) { return units; });
        const QString figures = QStringLiteral("最小 %1 kg   最大 %1 kg").arg(shown);
        QVERIFY2(p.statsLine().contains(figures), qPrintable(p.statsLine()));
        QVERIFY2(p.panel.caption(QDateTime::currentDateTime()).last().contains(figures),
                 qPrintable(p.panel.caption(QDateTime::currentDateTime()).last()));
        const QStringList row = p.csv().last().split(QLatin1Char(','));
        QCOMPARE(row.mid(6, 2), (QStringList{shown, shown}));
        const TrendPicture &picture = p.panel.shownPicture();
        QCOMPARE(picture.lines.first().runs.first().first().y(), shown.toDouble());
        QVERIFY(picture.value.low <= shown.toDouble() && shown.toDouble() <= picture.value.high);
    }

    // Colours stay with their module, whoever joins or leaves; no line is red, the
    // colour of a value beyond its limits.
    void coloursStayWithTheirModule_data()
    {
        QTest::addColumn<std::vector<int>>("before");
        QTest::addColumn<std::vector<int>>("after");
        QTest::newRow("the first removed") << std::vector<int>{3, 7, 9} << std::vector<int>{7, 9};
        QTest::newRow("one added before the others") << std::vector<int>{5, 9} << std::vector<int>{2, 5, 9};
        QTest::newRow("removed, another added") << std::vector<int>{1, 2, 3} << std::vector<int>{2, 3, 4};
    }
    void coloursStayWithTheirModule()
    {
        QFETCH(std::vector<int>, before);
        QFETCH(std::vector<int>, after);
        Panel p(before, before.front());
        std::map<int, QRgb> colours;
        for (const auto &line : p.panel.shownPicture().lines)
            colours[line.address] = line.colour.rgb();
        p.panel.follow(after, after.front());
        p.panel.redraw();
        QSet<QRgb> distinct;
        for (const auto &line : p.panel.shownPicture().lines) {
            distinct.insert(line.colour.rgb());
            if (colours.count(line.address))
                QCOMPARE(line.colour.name(), QColor(colours[line.address]).name());
        }
        QCOMPARE(distinct.size(), int(after.size()));
    }
    void noLineIsRed()
    {
        for (const bool dark : {false, true})
            for (int place = 0; place < TrendStore::kMostModules; ++place) {
                const QColor c = TrendColours::ofPlace(place, dark);
                const bool red = (c.hslHue() < 20 || c.hslHue() > 330) && c.hslSaturation() > 100;
                QVERIFY2(!red, qPrintable(QStringLiteral("%1 at %2").arg(c.name()).arg(place)));
            }
    }

    // The chart follows the panel's palette: dark window, dark chart, light lines.
    void aDarkPaletteIsFollowed()
    {
        Panel p({3, 7}, 3);
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
        dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        p.panel.setPalette(dark);
        p.panel.redraw();
        const TrendPicture &picture = p.panel.shownPicture();
        QVERIFY(picture.dark);
        QCOMPARE(picture.text, QColor(0xe0, 0xe0, 0xe0));
        for (const auto &line : picture.lines)
            QVERIFY2(line.colour.lightness() > 110, qPrintable(line.colour.name()));
        auto *chart = p.panel.findChild<QWidget *>(QStringLiteral("TrendChart"));
        QVERIFY(chart);
        QCOMPARE(chart->accessibleName(), QStringLiteral("趋势图"));
        QVERIFY2(chart->accessibleDescription().contains(QStringLiteral("地址 3: 最小 300")), qPrintable(chart->accessibleDescription()));
        QTRY_VERIFY(chart->width() > 300); // laid out once the events are through
        const QImage shot = chart->grab().toImage();
        QVERIFY(!shot.isNull());
        QVERIFY2(QColor(shot.pixel(2, 2)).lightness() < 80, qPrintable(QColor(shot.pixel(2, 2)).name()));
    }

    void theSavedPictureIsLargeWithACaption_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QStringList>("caption");
        QTest::newRow("all modules") << true
            << QStringList{"端口 /dev/ttyUSB9   地址 3, 7   跨度 1 分钟   2026-12-07 16:30:05",
                           "地址 3: 最小 300   最大 306   平均 303.0", "地址 7: 最小 700   最大 706   平均 703.0"};
        QTest::newRow("this module") << false
            << QStringList{"端口 /dev/ttyUSB9   地址 7   跨度 1 分钟   2026-12-07 16:30:05",
                           "地址 7: 最小 700   最大 706   平均 703.0"};
    }
    void theSavedPictureIsLargeWithACaption()
    {
        QFETCH(bool, all);
        QFETCH(QStringList, caption);
        Panel p({3, 7}, 7);
        p.panel.setAllModules(all);
        p.panel.setPortSource([] { return QStringLiteral("/dev/ttyUSB9"); });
        const QStringList said = p.panel.caption(QDateTime(QDate(2026, 12, 7), QTime(16, 30, 5)));
        QCOMPARE(said.size(), caption.size());
        for (int i = 0; i < said.size(); ++i) // the mean of a wave cut at the span's start
            QCOMPARE(said[i].left(caption[i].size() - 5), caption[i].left(caption[i].size() - 5));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trend.png"));
        QCOMPARE(p.panel.savePng(path), QString());
        const QImage image(path);
        QCOMPARE(image.width(), TrendPanel::kPngWidth);
        QVERIFY2(image.height() >= 580 && image.height() <= 640, qPrintable(QString::number(image.height())));
        // The caption's first row is written on, not blank.
        QSet<QRgb> colours;
        for (int x = 0; x < 600; ++x)
            colours.insert(image.pixel(x, 16));
        QVERIFY(colours.size() > 1);
    }

    // Every line of the saved picture's caption fits its place, the mean included,
    // however long the units or many the modules.
    void theCaptionIsNotCut_data()
    {
        QTest::addColumn<int>("modules");
        QTest::addColumn<QString>("unit");
        QTest::newRow("two in kg") << 2 << "kg";
        QTest::newRow("three in kg") << 3 << "kg";
        QTest::newRow("a long unit") << 1 << "N·m (net of the tare, 20 °C)";
        QTest::newRow("32 modules") << 32 << "kg";
    }
    void theCaptionIsNotCut()
    {
        QFETCH(int, modules);
        QFETCH(QString, unit);
        std::vector<int> addresses;
        for (int a = 0; a < modules; ++a)
            addresses.push_back(a);
        Panel p(addresses, 0);
        p.panel.setReadouts([&](int) { return unitsOf("-0.001", "1000.5", 3, qPrintable(unit)); });
        p.panel.setPortSource([] { return QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"); });
        const QStringList caption = p.panel.caption(QDateTime::currentDateTime());
        QFont font = p.panel.font();
        font.setPointSizeF(11);
        const QFontMetrics metrics(font);
        const QList<QRect> cells = TrendExport::captionCells(caption, metrics, TrendPanel::kPngWidth);
        QCOMPARE(cells.size(), caption.size());
        for (int i = 0; i < caption.size(); ++i) {
            const QRect needed = metrics.boundingRect(cells[i], Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption[i]);
            QVERIFY2(cells[i].contains(needed) && cells[i].right() < TrendPanel::kPngWidth, qPrintable(caption[i]));
            for (int j = 0; j < i; ++j)
                QVERIFY(!cells[i].intersects(cells[j]));
        }
    }

    // The CSV names each row's module, as the value log does, and gives each figure
    // as a count and as shown, in the module's unit.
    void theCsvNamesTheModules_data()
    {
        QTest::addColumn<bool>("scaled");
        QTest::addColumn<QString>("row"); // of module 7, the count's digits as \\d
        QTest::newRow("counts") << false << "7\\d\\d,7\\d\\d,7\\d\\d\\.\\d+,1,7\\d\\d,7\\d\\d,7\\d\\d\\.\\d,";
        QTest::newRow("in kg") << true << "7\\d\\d,7\\d\\d,7\\d\\d\\.\\d+,1,0\\.7\\d\\d,0\\.7\\d\\d,0\\.7\\d\\d0,\"kg, net\"";
    }
    void theCsvNamesTheModules()
    {
        QFETCH(bool, scaled);
        QFETCH(QString, row);
        Panel p({3, 7}, 7);
        if (scaled)
            p.panel.setReadouts([](int) { return unitsOf("0.001", "0", 3, "kg, net"); });
        const QStringList lines = p.csv();
        QCOMPARE(lines.first(), QStringLiteral("time,address,min,max,mean,count,scaled_min,scaled_max,scaled_mean,unit"));
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^[^,]+,7,") + row + QLatin1Char('$'))).size() >= 1190,
                 qPrintable(lines.last()));
        // A value every 50 ms for a minute, each in a bucket of its own.
        const auto rowsOf = [&](int a) {
            return lines.filter(QRegularExpression(QStringLiteral("^[^,]+,%1,%1\\d\\d,%1\\d\\d,[0-9.]+,1,").arg(a))).size();
        };
        QVERIFY2(rowsOf(3) >= 1190 && rowsOf(7) >= 1190, qPrintable(QString::number(rowsOf(3))));
        QCOMPARE(lines.size(), 1 + rowsOf(3) + rowsOf(7));
    }

    // Open or closed, the span and which modules: kept in the settings file, and
    // a value that is not one the trend offers is ignored or brought to the nearest.
    void theTrendIsRemembered_data()
    {
        QTest::addColumn<QString>("open");
        QTest::addColumn<QString>("span");
        QTest::addColumn<QString>("all");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("shownSpan");
        QTest::addColumn<bool>("shownAll");
        QTest::newRow("open, 5 min, this module") << "true" << "300" << "false" << true << 300 << false;
        QTest::newRow("closed, 1 h") << "false" << "3600" << "true" << false << 3600 << true;
        QTest::newRow("a span between choices") << "true" << "45" << "true" << true << 30 << true;
        QTest::newRow("nonsense") << "banana" << "99999" << "maybe" << false << 60 << true;
    }
    void theTrendIsRemembered()
    {
        QFETCH(QString, open);
        QFETCH(QString, span);
        QFETCH(QString, all);
        QFETCH(bool, opened);
        QFETCH(int, shownSpan);
        QFETCH(bool, shownAll);
        {
            QSettings file(RememberedStore::fileName(), QSettings::IniFormat);
            file.setValue(QStringLiteral("trend/open"), open);
            file.setValue(QStringLiteral("trend/spanSeconds"), span);
            file.setValue(QStringLiteral("trend/allModules"), all);
        }
        SimulatedModule module(SimulatorSettings{});
        PortSettings port;
        port.portName = module.devicePath();
        frmMain window(port, CycleSettings{});
        window.extras()->restoreTrend(RememberedStore::load());
        window.setRemembering(true);
        QCOMPARE(window.extras()->trendOpen(), opened);
        QCOMPARE(window.extras()->trend()->span(), std::chrono::seconds(shownSpan));
        QCOMPARE(window.extras()->trend()->allModules(), shownAll);

        // What the user changes is written at once.
        window.extras()->setTrendOpen(!opened);
        window.extras()->trend()->setSpan(10s);
        emit window.extras()->trendChoiceChanged();
        const Remembered now = RememberedStore::load();
        QCOMPARE(now.trendOpen, std::optional<bool>(!opened));
        QCOMPARE(now.trendSpanSeconds, std::optional<int>(10));
        QCOMPARE(now.trendAllModules, std::optional<bool>(shownAll));
    }

    // The window's program maps the chart library only once the trend opens.
    void chartsAreLoadedOnlyForTheTrend_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("trend closed") << false;
        QTest::newRow("trend open") << true;
    }
    void chartsAreLoadedOnlyForTheTrend()
    {
        QFETCH(bool, open);
        QTemporaryDir config;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        // The window's bench mode presses Read itself, with the trend open or not.
        env.insert(QStringLiteral("KVP_WINDOW_BENCH"), QStringLiteral("100000000"));
        env.insert(QStringLiteral("KVP_WINDOW_BENCH_TREND"), open ? QStringLiteral("1") : QStringLiteral("0"));
        QProcess window;
        window.setProcessEnvironment(env);
        window.start(QStringLiteral(KVP_READER), {"--simulate"});
        QVERIFY(window.waitForStarted(5000));
        const qint64 pid = window.processId();
        QTRY_VERIFY_WITH_TIMEOUT(mapsOf(pid).contains(QLatin1String("libQt6Widgets")), 10000);
        if (open)
            QTRY_VERIFY_WITH_TIMEOUT(mapsOf(pid).contains(QLatin1String("kvp-trend-chart")), 10000);
        const QString maps = mapsOf(pid);
        QCOMPARE(maps.contains(QLatin1String("kvp-trend-chart")), open);
        window.terminate();
        if (!window.waitForFinished(5000)) {
            window.kill();
            window.waitForFinished(3000);
        }
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(tst_trendpanel)
#include "tst_trendpanel.moc"
