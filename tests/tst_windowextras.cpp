// What the window offers besides its form: the trend below it, recording, copying
// the value, and finding the module, each against the simulated module.
#include "WindowFixture.h"
#include "sim/SimulatedModule.h"
#include "app/LastFolder.h"
#include "ui/ElidedLabel.h"
#include "ui/FindModuleDialog.h"
#include "ui/MqttControl.h"
#include "ui/StatusRow.h"
#include "ui/LineDetails.h"
#include "ui/TrafficView.h"
#include "ui/ModuleListPanel.h"
#include "ui/FullScreenValue.h"
#include "ui/ReadoutDialog.h"
#include "ui/ValueMeter.h"
#include "ui/TrendChartLoader.h"
#include "ui/TrendPanel.h"
#include "ui/UnitsAndLimits.h"
#include "ui/WindowExtras.h"
#include "ui/frmMain.h"
#include "ui/WindowNotices.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace kvp;
Q_DECLARE_METATYPE(kvp::TrafficEntry::Kind)
using namespace std::chrono_literals;

namespace {

// The window's fixture, with the panels' own ways in.
struct Window : kvp::test::Window
{
    using kvp::test::Window::Window;
    QString value() { return display()->text(); }
    WindowExtras &extras() { return *window->extras(); }
    ModuleListPanel &modules() { return *extras().modules(); }
    // The list opened and filled as a user does, with the box at `box`.
    void fillList(const QList<int> &addresses, int box)
    {
        window->setAddressText(QString::number(box));
        extras().setModulesOpen(true);
        for (const int a : addresses) {
            child<QSpinBox>("ModuleNewAddress")->setValue(a);
            QTest::mouseClick(child<QPushButton>("ModuleAdd"), Qt::LeftButton);
        }
    }
    QString row(int address, int column)
    {
        const QTableWidget *table = modules().table();
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 0)->text() == QString::number(address))
                return table->item(r, column)->text();
        return {};
    }
    // Units (and limits) typed into the dialog of `address` and taken, as a user does.
    void setUnits(int address, const std::map<const char *, QString> &typed, int decimals)
    {
        ReadoutDialog *dialog = extras().units()->edit(address);
        for (const auto &[name, text] : typed)
            dialog->findChild<QLineEdit *>(QLatin1String(name))->setText(text);
        dialog->findChild<QSpinBox *>(QStringLiteral("ReadoutDecimals"))->setValue(decimals);
        dialog->accept();
    }
    TrendPanel &trend() { return *extras().trend(); }
    // Read pressed once the window is active; nothing is waited for of the module.
    bool showAndRead()
    {
        if (!window->Form_Load())
            return false;
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        click("Read");
        return true;
    }
    // Waits until the module has sent `n` more good replies, as long as a slow machine takes.
    bool waitValues(int n)
    {
        const auto before = module.module().counters().intactValues;
        return QTest::qWaitFor([&] { return module.module().counters().intactValues >= before + n; }, 10000 + 20 * n);
    }
};

QMessageBox *openMessage()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    return nullptr;
}

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class tst_windowextras : public QObject
{
    Q_OBJECT

private slots:
    // Settings (the last folder of a recording) go to a folder of this test's own; the
    // trend's chart library is the build's.
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        TrendChartLoader::setPath(QStringLiteral(KVP_TREND_CHART));
    }

    void trendOpensBelowTheFormAndAddsToItsHeight()
    {
        Window w;
        QVERIFY(w.showAndRead());
        QList<QRect> form;
        for (const char *name : {"Label1", "KVPAdr", "DataText", "Read", "Stop", "Quit", "StatusText"})
            form << w.child<QWidget>(name)->geometry();

        QTest::keyClick(w.window.get(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(w.window->size(), QSize(468, 284 + TrendPanel::kHeight));
        QVERIFY(w.trend().isVisible());
        QCOMPARE(w.trend().mapTo(w.window.get(), QPoint(0, 0)).y(), 284);
        int i = 0;
        for (const char *name : {"Label1", "KVPAdr", "DataText", "Read", "Stop", "Quit", "StatusText"})
            QCOMPARE(w.child<QWidget>(name)->geometry(), form[i++]);

        // The toggle in the status line closes it again, and the menu's entry follows.
        QTest::mouseClick(w.child<QToolButton>("TrendToggle"), Qt::LeftButton);
        QCOMPARE(w.window->size(), QSize(468, 284));
        QVERIFY(!w.trend().isVisible());
        QVERIFY(!w.extras().action("TrendAction")->isChecked());
        QVERIFY(w.child<QWidget>("StatusExtras")->geometry().bottom() < 284);
    }

    // The chart is drawn on a timer from one column per pixel, however fast values come.
    void redrawsAreBoundedAndDecimated()
    {
        Window w;
        QVERIFY(w.showAndRead());
        QElapsedTimer clock;
        w.extras().setTrendOpen(true);
        clock.start();
        const int before = w.trend().redraws();
        QVERIFY(w.waitValues(2000));
        // The chart is redrawn on its own while it is open, however slow drawing is.
        QTRY_VERIFY_WITH_TIMEOUT(w.trend().redraws() > before, 3 * TrendPanel::kSlowestRedrawMs);
        const int redraws = w.trend().redraws() - before;
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(redraws <= elapsed / TrendPanel::kRedrawMs + 2,
                 qPrintable(QStringLiteral("%1 redraws in %2 ms").arg(redraws).arg(elapsed)));
        w.trend().redraw();
        const auto &columns = w.trend().shownColumns();
        QVERIFY(columns.size() > 100 && columns.size() < 468);
        QVERIFY(w.trend().shownStats().count >= 1990); // a reply or two may still be on the line
        QVERIFY(w.trend().shownStats().min <= w.trend().shownStats().max);
    }

    void pauseFreezesTheChartWhileReadingGoesOn()
    {
        Window w;
        QVERIFY(w.showAndRead());
        w.extras().setTrendOpen(true);
        QVERIFY(w.waitValues(200));
        QTest::mouseClick(w.child<QPushButton>("TrendPause"), Qt::LeftButton);
        QVERIFY(w.trend().paused());
        const int redraws = w.trend().redraws();
        const auto shown = w.trend().shownStats().count;
        const QString value = w.value();
        QVERIFY(w.waitValues(500));
        QTRY_VERIFY(w.value() != value); // still reading
        QCOMPARE(w.trend().redraws(), redraws);
        QCOMPARE(w.trend().shownStats().count, shown);

        QTest::mouseClick(w.child<QPushButton>("TrendPause"), Qt::LeftButton);
        QTRY_VERIFY(w.trend().redraws() > redraws + 1);
        QVERIFY(w.trend().shownStats().count > shown);
    }

    // A stale stretch breaks the line; a stretch merely without values does not.
    void staleStretchesAreGaps_data()
    {
        QTest::addColumn<QList<int>>("staleSeconds"); // pairs: from, to, seconds before now
        QTest::addColumn<int>("segments");
        QTest::newRow("live throughout") << QList<int>{} << 1;
        QTest::newRow("one stale stretch in the middle") << QList<int>{40, 30} << 2;
        QTest::newRow("two stale stretches") << QList<int>{50, 45, 20, 10} << 3;
        QTest::newRow("stale at the start of the span") << QList<int>{70, 50} << 1;
        QTest::newRow("stale until now") << QList<int>{15, 0} << 1;
    }
    void staleStretchesAreGaps()
    {
        QFETCH(QList<int>, staleSeconds);
        QFETCH(int, segments);
        TrendPanel panel;
        panel.resize(468, TrendPanel::kHeight);
        panel.show(); // lays the chart out, so it has a plot area to fill
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.follow({}, 0);
        panel.setPaused(true);
        const auto now = TrendSeries::Clock::now();
        const auto at = [&](double secondsAgo) {
            return now - std::chrono::duration_cast<TrendSeries::Duration>(std::chrono::duration<double>(secondsAgo));
        };
        std::vector<std::pair<double, double>> stale;
        for (int i = 0; i + 1 < staleSeconds.size(); i += 2)
            stale.emplace_back(staleSeconds[i], staleSeconds[i + 1]);
        // Values every 50 ms over the last 70 s, except while stale.
        for (double ago = 70; ago > 0.05; ago -= 0.05) {
            bool isStale = false;
            for (auto [from, to] : stale)
                isStale = isStale || (ago <= from && ago > to);
            if (!isStale)
                panel.addValue(0, at(ago), static_cast<int>(ago * 10));
        }
        for (auto [from, to] : stale) {
            panel.setStale(0, true, at(from));
            panel.setStale(0, false, at(to));
        }
        panel.setPaused(false);
        panel.redraw();
        QCOMPARE(panel.shownSegments(), segments);
    }

    // Units and limits set from the value's dialog: the value shows scaled with its
    // unit; beyond a limit it carries a symbol, in the alarm colour while live, and the
    // status line names the limit. Stopped, the colour goes grey and the symbol stays.
    void unitsAndLimitsFromTheDialog_data()
    {
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("shown"); // the value's form
        QTest::addColumn<QString>("status"); // part of the status line while live

        QTest::newRow("above the high limit") << "" << "-9000" << R"(^▲ -?\d+\.\d{3} kg$)" << "-9000 kg";
        QTest::newRow("below the low limit") << "9000" << "" << R"(^▼ -?\d+\.\d{3} kg$)" << "9000 kg";
        QTest::newRow("within") << "-9000" << "9000" << R"(^-?\d+\.\d{3} kg$)" << "";
    }

    void unitsAndLimitsFromTheDialog()
    {
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QString, shown);
        QFETCH(QString, status);
        Window w;
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(2));
        w.setUnits(0, {{"ReadoutScale", "0.001"}, {"ReadoutUnit", "kg"}, {"ReadoutLow", low}, {"ReadoutHigh", high}}, 3);
        const QRegularExpression form(shown);
        QTRY_VERIFY2(form.match(w.value()).hasMatch(), qPrintable(w.value()));
        QVERIFY(w.waitValues(2));
        QVERIFY2(form.match(w.value()).hasMatch(), qPrintable(w.value()));
        QCOMPARE(w.modules().lastValue(0), w.value()); // the list of modules shows it alike
        const QColor background = w.window->palette().color(QPalette::Window);
        const auto colour = [&w] { return w.child<QLabel>("DataText")->palette().color(QPalette::WindowText); };
        const QString statusLine = w.child<QLabel>("StatusText")->text();
        QCOMPARE(colour() == UnitsAndLimits::alarmColourOn(background), !status.isEmpty());
        const QLabel *big = w.child<QLabel>("DataText"); // symbol and unit fit, the value is not cut off
        QVERIFY(QFontMetrics(big->font()).horizontalAdvance(big->text()) <= big->contentsRect().width());
        QVERIFY2(statusLine.contains(status), qPrintable(statusLine));
        // Full screen and to a screen reader the value is the same, unit and symbol too.
        QVERIFY(w.waitValues(1));
        QVERIFY2(big->accessibleName().startsWith(w.value() + QStringLiteral(", ")), qPrintable(big->accessibleName()));
        QVERIFY(big->alignment() & Qt::AlignRight);
        w.window->meter()->setFullScreen(true);
        QVERIFY(w.waitValues(1));
        QVERIFY2(form.match(w.window->meter()->fullScreenView()->valueLabel()->text()).hasMatch(),
                 qPrintable(w.window->meter()->fullScreenView()->valueLabel()->text()));
        w.window->meter()->setFullScreen(false);
        QTest::mouseClick(w.child<QPushButton>("Stop"), Qt::LeftButton);
        QVERIFY(colour() != UnitsAndLimits::alarmColourOn(background));
        QVERIFY(form.match(w.value()).hasMatch());
    }

    // Back within its limits, the line says the state again, not the crossing it left.
    // A limit typed through an input method, in full-width digits, is a limit too.
    void backWithinTheLineSaysTheStateAgain_data()
    {
        QTest::addColumn<QString>("high");
        QTest::newRow("typed") << "-9000000";
        QTest::newRow("full width") << "－９００００００。０";
    }

    void backWithinTheLineSaysTheStateAgain()
    {
        QFETCH(QString, high);
        Window w;
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(2));
        w.setUnits(0, {{"ReadoutHigh", high}}, 0);
        QTRY_VERIFY2(w.status().startsWith(QStringLiteral("读取中; ▲ 高于上限")), qPrintable(w.status()));
        w.setUnits(0, {{"ReadoutHigh", ""}}, 0);
        QVERIFY(w.waitValues(2));
        QCOMPARE(w.status(), QStringLiteral("读取中"));
    }

    // The dialog takes nothing the console's options would refuse, and says why.
    void unitsDialogRefuses_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("says");
        QTest::newRow("a comma for the point") << "ReadoutScale" << "0,001" << "比例须是数字";
        QTest::newRow("scale 0") << "ReadoutScale" << "0" << "比例不能为 0";
        QTest::newRow("offset nan") << "ReadoutOffset" << "nan" << "偏移须是数字";
        QTest::newRow("low above high") << "ReadoutLow" << "100" << "下限高于上限";
        QTest::newRow("deadband negative") << "ReadoutDeadband" << "-1" << "回差不能为负";
    }

    void unitsDialogRefuses()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, says);
        Window w;
        ReadoutDialog *dialog = w.extras().units()->edit(0);
        dialog->findChild<QLineEdit *>(QStringLiteral("ReadoutHigh"))->setText(QStringLiteral("50"));
        auto *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
        dialog->findChild<QLineEdit *>(field)->setText(typed);
        QVERIFY(!ok->isEnabled());
        const QLabel *note = dialog->findChild<QLabel *>(QStringLiteral("ReadoutNote"));
        QVERIFY2(note->text().startsWith(says), qPrintable(note->text()));
        // Whole, not cut at top and bottom: the dialog grows for a note that wraps.
        QTRY_VERIFY2(note->height() >= note->heightForWidth(note->width()),
                     qPrintable(QStringLiteral("%1 < %2").arg(note->height()).arg(note->heightForWidth(note->width()))));
    }

    void recordingWritesTheLogsLinesAndCountsThem()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("values.csv"));
        SimulatorSettings sim;
        sim.address = 7;
        Window w(sim);
        w.window->setAddressText(QStringLiteral("7"));
        QVERIFY(w.showAndRead());
        QVERIFY(w.extras().startRecording(path));
        QTRY_VERIFY_WITH_TIMEOUT(w.extras().recording().rows() >= 50, 10000); // sent is not yet recorded
        QTRY_VERIFY(w.child<QLabel>("RecordingRows")->text().contains(QRegularExpression(QStringLiteral("\\d\\d"))));
        QTest::keyClick(w.window.get(), Qt::Key_R, Qt::ControlModifier); // stops
        QVERIFY(!w.extras().recording().active());
        const qint64 rows = w.extras().recording().rows();
        QVERIFY(rows >= 50);

        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), rows + 1);
        QCOMPARE(lines.first(), QStringLiteral("time,address,value,scaled,unit,limit"));
        const QRegularExpression line(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}([+-]\\d\\d:\\d\\d|Z),7,(-?\\d+),\\2,,$"));
        for (const QString &l : lines.mid(1))
            QVERIFY2(line.match(l).hasMatch(), qPrintable(l));
        QVERIFY(w.waitValues(20));
        QCOMPARE(linesOf(path).size(), rows + 1); // nothing after the stop
    }

    void aFullDiskStopsTheRecordingAndSaysSo()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        Window w;
        QVERIFY(w.showAndRead());
        // The log writes its header at once, so the start itself may be what fails.
        const bool started = w.extras().startRecording(QStringLiteral("/dev/full"));
        QTRY_VERIFY(!w.extras().recording().active());
        QTRY_VERIFY(openMessage() != nullptr);
        const QString message = openMessage()->text();
        openMessage()->close();
        QVERIFY2(message.contains(QStringLiteral("/dev/full")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("No space"), Qt::CaseInsensitive), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("请释放一些空间")), qPrintable(message)); // not "a folder you may write to"
        if (started)
            QVERIFY(w.child<QLabel>("RecordingRows")->isVisible());
        QCOMPARE(w.extras().recording().rows(), 0);
        const QString value = w.value();
        QTRY_VERIFY(w.value() != value); // reading goes on
    }

    // A trend that cannot be saved says why, as every other file the window writes does.
    void trendExportGivesTheReason_data()
    {
        QTest::addColumn<bool>("png");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        for (const bool png : {true, false}) {
            QTest::addRow("%s into a missing folder", png ? "PNG" : "CSV")
                << png << "/kvp-no-such-folder/trend" << "No such file or directory";
            QTest::addRow("%s on a full disk", png ? "PNG" : "CSV") << png << "/dev/full" << "No space left";
        }
    }

    void trendExportGivesTheReason()
    {
        QFETCH(bool, png);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        Window w;
        const QString said = png ? w.trend().savePng(path) : w.trend().saveCsv(path);
        QVERIFY2(said.contains(reason), qPrintable(said));
        emit w.trend().saveFailed(path, said);
        const QMessageBox *box = w.window->notices()->box();
        QVERIFY(box && box->isVisible() && !box->isModal()); // reading goes on behind it
        QCOMPARE(box->text(), QStringLiteral("无法保存 %1 (%2). 请选择另一个文件.").arg(path, said));
    }

    // A --log that stops taking values says so in the window, as the console does.
    void aLogWhoseReaderWentAwaySaysSo()
    {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("values.fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ValueLog log;
        QVERIFY(log.open(QString::fromLocal8Bit(fifo)));
        ::close(reader);
        ::signal(SIGPIPE, SIG_IGN); // as a broken standard output would, it would end the test
        Window w;
        w.window->setValueLog(&log);
        QVERIFY(w.showAndRead());
        QTRY_VERIFY(openMessage() != nullptr);
        const QString message = openMessage()->text();
        QVERIFY2(message.contains(QString::fromLocal8Bit(fifo)) && message.contains(QStringLiteral("没有读取方")),
                 qPrintable(message));
    }

    void copyPutsTheValueOnTheClipboard_data()
    {
        QTest::addColumn<QString>("selected"); // text selected in the address box first
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("expected"); // {value}, {address} or a pattern
        // Stopped, the value is stale, and a copy says so.
        QTest::newRow("Ctrl+C: the value, marked stale") << QString() << Qt::KeyboardModifiers(Qt::ControlModifier)
                                                         << QStringLiteral("^{value} \\(过时\\)$");
        QTest::newRow("Ctrl+C with a selection in the box: the box's own copy")
            << QStringLiteral("all") << Qt::KeyboardModifiers(Qt::ControlModifier) << QStringLiteral("^12$");
        QTest::newRow("Ctrl+Shift+C: the time, a tab, the value")
            << QString() << (Qt::ControlModifier | Qt::ShiftModifier)
            << QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}([+-]\\d\\d:\\d\\d|Z)\\t{value} \\(过时\\)$");
    }
    void copyPutsTheValueOnTheClipboard()
    {
        QFETCH(QString, selected);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, expected);
        SimulatorSettings sim;
        sim.address = 12;
        Window w(sim);
        w.window->setAddressText(QStringLiteral("12"));
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(5));
        QTest::mouseClick(w.child<QPushButton>("Stop"), Qt::LeftButton);
        QTest::qWait(50);
        const QString value = w.value();
        QApplication::clipboard()->setText(QStringLiteral("before"));
        auto *box = w.child<QLineEdit>("KVPAdr");
        box->setFocus();
        if (selected.isEmpty())
            box->deselect();
        else
            box->selectAll();
        QTest::keyClick(box, Qt::Key_C, modifiers);
        const QString pattern = QString(expected).replace(QStringLiteral("{value}"), QRegularExpression::escape(value));
        QVERIFY2(QRegularExpression(pattern).match(QApplication::clipboard()->text()).hasMatch(),
                 qPrintable(QApplication::clipboard()->text()));
    }

    // Ctrl+M lists the commands and replies with the verdict each reply got, in a
    // window that leaves the form usable; values per second and the faults are on
    // the status line while reading.
    void trafficView_data()
    {
        QTest::addColumn<double>("corrupt");
        QTest::addColumn<double>("drop");
        QTest::addColumn<TrafficEntry::Kind>("verdict");
        QTest::newRow("a clean line") << 0.0 << 0.0 << TrafficEntry::Kind::goodValue;
        QTest::newRow("every reply garbled") << 1.0 << 0.0 << TrafficEntry::Kind::badCheck;
        QTest::newRow("no reply at all") << 0.0 << 1.0 << TrafficEntry::Kind::timeout;
    }
    void trafficView()
    {
        QFETCH(double, corrupt);
        QFETCH(double, drop);
        QFETCH(TrafficEntry::Kind, verdict);
        SimulatorSettings sim;
        sim.corrupt = corrupt;
        sim.drop = drop;
        Window w(sim);
        QVERIFY(w.showAndRead());
        QTest::keyClick(w.window.get(), Qt::Key_M, Qt::ControlModifier);
        TrafficView *view = w.window->lineDetails()->trafficView();
        QVERIFY(view && view->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        const auto listed = [&](const QString &text) {
            for (int row = 0; row < view->table()->rowCount(); ++row)
                if (view->table()->item(row, 3)->text() == text)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(TrafficView::kindText(verdict)), 5000);
        QVERIFY(listed(TrafficView::kindText(TrafficEntry::Kind::sent)));
        QVERIFY(view->table()->rowCount() <= 200);
        w.window->lineDetails()->update();
        const QString counts = w.window->lineDetails()->countsButton()->text();
        QVERIFY2(counts.contains(QStringLiteral("/s")), qPrintable(counts));
        if (verdict == TrafficEntry::Kind::timeout)
            QVERIFY2(counts.contains(QStringLiteral("超时")), qPrintable(counts));
        if (verdict == TrafficEntry::Kind::badCheck)
            QVERIFY2(counts.contains(QStringLiteral("校验")), qPrintable(counts));
    }

    // The rate's text narrows from "0.0/s" to "50/s"; its button keeps the width it
    // had, so the buttons beside it stay put. Times an hour ahead keep the real tick
    // out of it.
    void countsButtonOnlyGrows()
    {
        Window w;
        QVERIFY(w.showAndRead());
        LineDetails &details = *w.window->lineDetails();
        const auto good = [&] { return w.window->session().cycle().counters().goodValues; };
        const TimePoint later = Clock::now() + 1h;
        details.update(later);
        const std::uint64_t from = good();
        details.update(later + 1s);
        QCOMPARE(details.countsButton()->text(), QStringLiteral("0.0/s"));
        QCoreApplication::sendPostedEvents(); // the status line's layout
        const int wide = details.countsButton()->width();
        QTRY_VERIFY_WITH_TIMEOUT(good() >= from + 20, 5000);
        const std::uint64_t came = good() - from;
        details.update(later + 1s + std::chrono::milliseconds(came * 20));
        QCOMPARE(details.countsButton()->text(), QStringLiteral("50/s"));
        QCoreApplication::sendPostedEvents();
        QVERIFY(details.countsButton()->sizeHint().width() < wide);
        QCOMPARE(details.countsButton()->width(), wide);
    }

    // The search is no modal dialog; what the window is asked meanwhile never puts a
    // second master on the line: Read waits for the search, new line settings too,
    // and another port is refused with the reason. Once it is over, Cancel is Close.
    void findIsNotModal_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("Read pressed") << "read";
        QTest::newRow("echo handling toggled") << "echo";
        QTest::newRow("another port chosen") << "port";
    }
    void findIsNotModal()
    {
        QFETCH(QString, action);
        Window w;
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(3));
        FindModuleDialog *dialog = w.extras().findModule();
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QVERIFY(!dialog->frameGeometry().intersects(w.window->frameGeometry())); // beside the value
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(dialog->searching());
        const auto before = w.module.module().counters().setups;
        SimulatedModule other{SimulatorSettings{}};
        if (action == QLatin1String("read"))
            QTest::mouseClick(w.child<QPushButton>("Read"), Qt::LeftButton);
        else if (action == QLatin1String("echo"))
            w.window->findChild<QAction *>(QStringLiteral("EchoAction"))->toggle();
        else
            emit w.window->findChild<PortPicker *>()->chosen(other.devicePath());
        QCOMPARE(w.module.module().counters().setups, before); // the search has the line
        if (action == QLatin1String("port"))
            QVERIFY(w.child<QLabel>("StatusText")->text().contains(QStringLiteral("查找")));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 10000);
        QCOMPARE(dialog->findChild<QPushButton *>(QStringLiteral("FindCancel"))->text(), QStringLiteral("关闭"));
        QVERIFY(w.waitValues(3)); // reading resumes once the search is over
        QCOMPARE(other.module().counters().setups + other.module().counters().queries, 0u);
    }

    // The status line names the file being recorded to and its rows; Stop says how
    // many rows went where, after the state; the next file dialog starts in that folder.
    void recordingSaysWhereItWrites()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        Window w;
        QVERIFY(w.showAndRead());
        QVERIFY(w.extras().startRecording(path));
        QVERIFY(w.waitValues(5));
        auto *label = w.child<QLabel>("RecordingRows");
        QTRY_VERIFY(label->text().contains(QStringLiteral("run.csv")));
        w.extras().stopRecording();
        const qint64 rows = w.extras().recording().rows();
        QVERIFY(rows > 0);
        const QString said = w.child<QLabel>("StatusText")->text(); // a notice after the state
        QVERIFY2(said.contains(QStringLiteral("run.csv")) && said.contains(QString::number(rows)), qPrintable(said));
        QCOMPARE(LastFolder::get(), QFileInfo(path).absolutePath());
    }

    // With no value of the box's module to copy, the clipboard keeps what it held, and
    // the status line says so: what was there before would be pasted for this module's.
    void nothingIsCopiedBeforeAValueWasShown_data()
    {
        QTest::addColumn<QString>("typed"); // into the box once a value came; empty: nothing read
        QTest::newRow("nothing read") << QString();
        QTest::newRow("another address, not yet answered") << "12";
    }
    void nothingIsCopiedBeforeAValueWasShown()
    {
        QFETCH(QString, typed);
        Window w;
        if (!typed.isEmpty()) {
            QVERIFY(w.showAndRead());
            QVERIFY(w.waitValues(2));
            w.type(typed);
        }
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QVERIFY(!w.extras().copyValue(false));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        QVERIFY2(w.status().contains(QStringLiteral("没有可复制的数值")), qPrintable(w.status()));
    }

    // Three modules on one line: the search lists each with the value it sent (in the
    // module's units, the count beside, when it has units), sets the box to the one
    // picked, and reading goes on there.
    void findModuleListsTheAnswersAndSetsTheBox_data()
    {
        QTest::addColumn<bool>("scaled"); // module 5 in kg
        QTest::newRow("counts") << false;
        QTest::newRow("module 5 in kg") << true;
    }
    void findModuleListsTheAnswersAndSetsTheBox()
    {
        QFETCH(bool, scaled);
        SimulatorSettings sim;
        sim.address = 3;
        sim.moreAddresses = {5, 17};
        Window w(sim);
        std::map<int, std::int32_t> sent; // the last value of each
        std::map<int, QStringList> every; // reading goes on at 3 once the search is over
        w.module.module().setReplyObserver([&](const ModuleSimulator::Reply &r) {
            if (r.intact()) {
                sent[r.address] = r.value;
                every[r.address] << QString::number(r.value);
            }
        });
        w.window->setAddressText(QStringLiteral("3"));
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(10));
        if (scaled)
            w.setUnits(5, {{"ReadoutScale", "0.001"}, {"ReadoutUnit", "kg"}}, 3);

        QTest::keyClick(w.window.get(), Qt::Key_F, Qt::ControlModifier);
        FindModuleDialog *dialog = w.window->findChild<FindModuleDialog *>();
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 10000);
        auto *list = dialog->findChild<QListWidget *>(QStringLiteral("FindList"));
        QCOMPARE(list->count(), 3);
        const int addresses[] = {3, 5, 17};
        for (int i = 0; i < 3; ++i) {
            const QString item = list->item(i)->text();
            QVERIFY2(item.contains(QString::number(addresses[i])), qPrintable(item));
            if (!scaled || addresses[i] != 5) {
                QVERIFY2(every[addresses[i]].contains(item.section(QLatin1Char(' '), -1)), qPrintable(item));
                continue;
            }
            const auto inKg = QRegularExpression(QStringLiteral(R"(^地址 5:  (-?\d+\.\d{3}) kg   \(计数 (-?\d+)\)$)")).match(item);
            QVERIFY2(inKg.hasMatch() && every[5].contains(inKg.captured(2)), qPrintable(item));
            const EngineeringUnits kg{*DecimalNumber::parse("0.001"), {}, 3, "kg"};
            QCOMPARE(inKg.captured(1), QString::fromStdString(kg.text(inKg.captured(2).toInt())));
        }
        list->setCurrentRow(2);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("FindUse")), Qt::LeftButton);
        QCOMPARE(w.child<QLineEdit>("KVPAdr")->text(), QStringLiteral("17"));

        // Reading resumes, now at the module picked.
        sent.clear();
        QVERIFY(w.waitValues(20));
        QVERIFY(sent.count(17));
        QTest::mouseClick(w.child<QPushButton>("Stop"), Qt::LeftButton);
        QTRY_COMPARE(w.value(), QString::number(sent[17]));
    }

    // Two modules in the list: Read asks both, each row shows its own module's values,
    // and the big value and the trend only the box's; a row chosen moves the box.
    void theListReadsABus()
    {
        Window w(SimulatorSettings{.address = 3, .moreAddresses = {7}});
        const auto &sent = w.observeValues();
        w.fillList({3, 7}, 3);
        QVERIFY(w.showAndRead());
        QCOMPARE(w.window->size(), QSize(468, 284 + ModuleListPanel::kHeight));
        QTest::keyClick(w.window.get(), Qt::Key_B, Qt::ControlModifier); // closes, the bus read goes on
        QCOMPARE(w.window->size(), QSize(468, 284));
        QTest::mouseClick(w.child<QToolButton>("ModulesToggle"), Qt::LeftButton);
        QVERIFY(w.waitValues(40));
        QVERIFY(sent.at(3).size() >= 10 && sent.at(7).size() >= 10);
        QTRY_VERIFY(sent.at(7).contains(w.row(7, 1)));
        QTRY_VERIFY(sent.at(3).contains(w.row(3, 1)));
        QCOMPARE(w.row(7, 2), QStringLiteral("实时"));
        QVERIFY2(w.row(7, 3).endsWith(QStringLiteral(" ms")), qPrintable(w.row(7, 3)));
        QVERIFY2(sent.at(3).contains(w.value()) && !sent.at(7).contains(w.value()), qPrintable(w.value()));

        QTest::mouseClick(w.child<QPushButton>("Stop"), Qt::LeftButton);
        QVERIFY2(sent.at(3).contains(w.value()) && !sent.at(7).contains(w.value()), qPrintable(w.value()));
        w.trend().redraw();
        const auto drawn = w.trend().shownStats().count;
        QVERIFY2(drawn <= std::size_t(sent.at(3).size()) && drawn + 3 >= std::size_t(sent.at(3).size()),
                 qPrintable(QStringLiteral("%1 of %2").arg(drawn).arg(sent.at(3).size())));

        QTableWidget *table = w.modules().table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(1, 1)).center());
        QCOMPARE(w.child<QLineEdit>("KVPAdr")->text(), QStringLiteral("7"));
        QVERIFY(sent.at(7).contains(w.value())); // its last value at once, not module 3's
        QTRY_COMPARE(w.row(7, 1), w.value()); // the table follows within a refresh
    }

    // A module of the list that does not answer is said to be set aside, with when it
    // is next asked, wherever it stands; the live one is read on. Once nobody asks it
    // (stopped, the device gone), no time of a next question is promised.
    void aSilentModuleOfTheList_data()
    {
        QTest::addColumn<QList<int>>("list");
        QTest::addColumn<QString>("then");
        QTest::newRow("after the live one") << QList<int>{3, 9} << QString();
        QTest::newRow("before the live one") << QList<int>{9, 3} << QString();
        QTest::newRow("stopped") << QList<int>{3, 9} << "stop";
        QTest::newRow("the device gone") << QList<int>{3, 9} << "unplug";
    }

    void aSilentModuleOfTheList()
    {
        QFETCH(QList<int>, list);
        QFETCH(QString, then);
        Window w(SimulatorSettings{.address = 3});
        w.fillList(list, 3);
        QVERIFY(w.showAndRead());
        const QRegularExpression said(QStringLiteral("^无应答, \\d+ 秒后再问$"));
        QTRY_VERIFY2(said.match(w.row(9, 2)).hasMatch(), qPrintable(w.row(9, 2)));
        QTRY_COMPARE(w.row(3, 2), QStringLiteral("实时"));
        if (then.isEmpty())
            return;
        if (then == QLatin1String("stop"))
            w.click("Stop");
        else
            w.module.unplug();
        QTRY_COMPARE(w.row(9, 2), QStringLiteral("无应答"));
    }

    // Read reads the list as a bus only when it holds two modules or more, the box's
    // among them; else the box's module alone, as ever. A change while reading counts at once.
    void whatReadAsks_data()
    {
        QTest::addColumn<QList<int>>("list");
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("removed"); // while reading; -1: none
        QTest::addColumn<QList<int>>("asked");
        QTest::newRow("two modules") << QList<int>{3, 9} << 9 << -1 << QList<int>{3, 9};
        QTest::newRow("one module: the box") << QList<int>{3} << 7 << -1 << QList<int>{7};
        QTest::newRow("the box's module not listed") << QList<int>{3, 9} << 7 << -1 << QList<int>{7};
        QTest::newRow("a bus left while reading") << QList<int>{3, 7, 9} << 7 << 9 << QList<int>{3, 7};
        QTest::newRow("down to one while reading") << QList<int>{3, 7} << 7 << 3 << QList<int>{7};
    }
    void whatReadAsks()
    {
        QFETCH(QList<int>, list);
        QFETCH(int, box);
        QFETCH(int, removed);
        QFETCH(QList<int>, asked);
        Window w(SimulatorSettings{.address = 3, .moreAddresses = {7, 9}});
        auto &sent = w.observeValues();
        w.fillList(list, box);
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitValues(10));
        if (removed >= 0) {
            w.modules().removeAddress(removed);
            QVERIFY(w.waitValues(3)); // what was on the line when the list changed
        }
        sent.clear();
        QVERIFY(w.waitValues(30));
        QList<int> answered;
        for (const auto &[address, values] : sent)
            answered << address;
        QCOMPARE(answered, asked);
        QTRY_COMPARE(w.child<QLabel>("StatusText")->text(), QStringLiteral("读取中"));
    }

    // Adding by address keeps the list in order and each address once; Delete, the
    // Remove button and the row's menu take one out.
    void addingAndRemoving_data()
    {
        QTest::addColumn<QList<int>>("added");
        QTest::addColumn<QString>("removeBy"); // removes the row at the box's address
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<int>("changes"); // the list said it changed, adding and removing
        QTest::newRow("kept in address order") << QList<int>{9, 3, 7} << "" << QList<int>{3, 7, 9} << 3;
        QTest::newRow("an address twice is there once") << QList<int>{5, 5, 2, 5} << "" << QList<int>{2, 5} << 2;
        QTest::newRow("out of range is refused") << QList<int>{-1, 32, 31, 0} << "" << QList<int>{0, 31} << 2;
        QTest::newRow("Delete") << QList<int>{4, 6} << "Delete" << QList<int>{6} << 3;
        QTest::newRow("Remove button") << QList<int>{4, 6} << "button" << QList<int>{6} << 3;
    }
    void addingAndRemoving()
    {
        QFETCH(QList<int>, added);
        QFETCH(QString, removeBy);
        QFETCH(QList<int>, expected);
        QFETCH(int, changes);
        ModuleListPanel panel({});
        panel.show();
        QSignalSpy changed(&panel, &ModuleListPanel::addressesChanged);
        for (const int a : added)
            panel.addAddress(a);
        panel.setCurrent(added.first());
        if (removeBy == QLatin1String("Delete"))
            QTest::keyClick(panel.table(), Qt::Key_Delete);
        else if (removeBy == QLatin1String("button"))
            QTest::mouseClick(panel.findChild<QPushButton *>(QStringLiteral("ModuleRemove")), Qt::LeftButton);
        QCOMPARE(panel.addresses(), expected);
        QCOMPARE(changed.size(), changes);
        // The spin box offers the next free address; Add is off at an address listed.
        auto *spin = panel.findChild<QSpinBox *>(QStringLiteral("ModuleNewAddress"));
        spin->setValue(expected.first());
        QVERIFY(!panel.findChild<QPushButton *>(QStringLiteral("ModuleAdd"))->isEnabled());
    }

    // A screen reader names the list's controls and the trend's boxes, not only their
    // value; Tab reaches the address to add before the table under it.
    void controlsAreNamedAndTabbedInOrder_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("name");
        QTest::newRow("the module table") << "ModuleTable" << "模块列表";
        QTest::newRow("the address to add") << "ModuleNewAddress" << "要加入列表的地址";
        QTest::newRow("the trend's span") << "TrendSpan" << "显示的时间跨度";
        QTest::newRow("the trend's modules") << "TrendModules" << "显示的模块";
    }
    void controlsAreNamedAndTabbedInOrder()
    {
        QFETCH(QString, widget);
        QFETCH(QString, name);
        Window w;
        w.extras().setModulesOpen(true);
        w.extras().setTrendOpen(true);
        auto *named = w.window->findChild<QWidget *>(widget);
        QVERIFY(named);
        // Its own name, or on Linux (where a box's name is its value) its label's.
        QAccessibleInterface *said = QAccessible::queryAccessibleInterface(named);
        QStringList names{said->text(QAccessible::Name)};
        for (const auto &[label, relation] : said->relations(QAccessible::Label))
            names << label->text(QAccessible::Name);
        QVERIFY2(names.contains(name), qPrintable(names.join(QLatin1Char('|'))));
        QList<QWidget *> chain;
        for (QWidget *next = w.window->nextInFocusChain(); next != w.window.get(); next = next->nextInFocusChain())
            chain << next;
        QVERIFY(chain.indexOf(w.child<QWidget>("ModuleNewAddress")) < chain.indexOf(w.modules().table()));
    }

    // A module that loses answers is asked again, listed, and said to lose them,
    // whether the first answer was lost or the one that would have confirmed it.
    void findNamesAModuleThatLosesAnswers_data()
    {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<std::vector<bool>>("heard"); // what the seed makes of module 5's first answers
        QTest::newRow("the first lost") << 6u << std::vector<bool>{false, true};
        QTest::newRow("heard, then lost when asked to confirm") << 7u << std::vector<bool>{true, false, true};
    }
    void findNamesAModuleThatLosesAnswers()
    {
        QFETCH(unsigned, seed);
        QFETCH(std::vector<bool>, heard);
        SimulatorSettings sim{.address = 3, .moreAddresses = {5}, .seed = seed};
        sim.differences[5].drop = 0.5;
        Window w(sim);
        std::vector<bool> answers;
        w.module.module().setReplyObserver([&](const ModuleSimulator::Reply &r) {
            if (r.address == 5)
                answers.push_back(r.intact());
        });
        QVERIFY(w.showAndRead());
        FindModuleDialog *dialog = w.extras().findModule();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 10000);
        answers.resize(std::min(answers.size(), heard.size()));
        QCOMPARE(answers, heard);
        auto *list = dialog->findChild<QListWidget *>(QStringLiteral("FindList"));
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(1)->text().startsWith(QStringLiteral("地址 5:")));
        const QString state = dialog->findChild<QLabel *>(QStringLiteral("FindState"))->text();
        QVERIFY2(state.contains(QStringLiteral("地址 5 再次询问时才应答")), qPrintable(state));
        // Said in the dialog's width, on as many lines as it takes, not by widening it.
        QVERIFY2(dialog->minimumSizeHint().width() <= 320, qPrintable(QString::number(dialog->minimumSizeHint().width())));
    }

    // What the search ends with says what to do about it, in the window's own terms.
    void findSaysWhatToDo_data()
    {
        QTest::addColumn<double>("drop");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("advice");
        QTest::newRow("nothing answers") << 1.0 << false << "(Ctrl+P)";
        QTest::newRow("the line echoes") << 0.0 << true << "回波";
    }
    void findSaysWhatToDo()
    {
        QFETCH(double, drop);
        QFETCH(bool, echo);
        QFETCH(QString, advice);
        CycleSettings quick;
        quick.replyTimeout = 50ms;
        quick.adaptTimeout = false;
        Window w(SimulatorSettings{.drop = drop, .echo = echo}, quick);
        QVERIFY(w.window->Form_Load());
        w.window->show();
        FindModuleDialog *dialog = w.extras().findModule();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 20000);
        const QString state = dialog->findChild<QLabel *>(QStringLiteral("FindState"))->text();
        QVERIFY2(state.contains(advice), qPrintable(state));
    }

    // "Read all found" puts every module that answered into the list and reads them all.
    void readAllFoundReadsTheBus()
    {
        Window w(SimulatorSettings{.address = 3, .moreAddresses = {5, 17}});
        auto &sent = w.observeValues();
        w.window->setAddressText(QStringLiteral("3"));
        QVERIFY(w.showAndRead());
        QTest::keyClick(w.window.get(), Qt::Key_F, Qt::ControlModifier);
        FindModuleDialog *dialog = w.window->findChild<FindModuleDialog *>();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 10000);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("FindReadAll")), Qt::LeftButton);
        QCOMPARE(w.modules().addresses(), (QList<int>{3, 5, 17}));
        QVERIFY(w.extras().modulesOpen());
        sent.clear();
        QVERIFY(w.waitValues(30));
        QVERIFY(sent.count(5) && sent.count(17) && sent.count(3));
        QTRY_VERIFY(sent.at(17).contains(w.row(17, 1)));
    }

    // On a bus every row of a recording names the module whose value it holds.
    void recordingNamesEachModule()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("values.csv"));
        Window w(SimulatorSettings{.address = 3, .moreAddresses = {7}});
        const auto &sent = w.observeValues();
        w.fillList({3, 7}, 7);
        QVERIFY(w.showAndRead());
        QVERIFY(w.extras().startRecording(path));
        QVERIFY(w.waitValues(30));
        w.extras().stopRecording();
        std::map<int, int> rows;
        for (const QString &line : linesOf(path).mid(1)) {
            const int address = line.section(QLatin1Char(','), 1, 1).toInt();
            QVERIFY2(sent.at(address).contains(line.section(QLatin1Char(','), 2, 2)), qPrintable(line));
            ++rows[address];
        }
        QVERIFY(rows[3] >= 10 && rows[7] >= 10);
    }

    // At the form's width, with everything on the status line, the words of the
    // state stay whole; what has a tooltip gives way, and nothing overlaps.
    void theStateWinsTheStatusLine_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("then");
        for (const char *language : {"en", "zh"}) {
            QTest::addRow("%s, reading a bus of three, one silent", language) << language << 468 << QString();
            QTest::addRow("%s, stopped", language) << language << 468 << "stop";
            QTest::addRow("%s, the device gone", language) << language << 468 << "unplug";
            QTest::addRow("%s, no answer", language) << language << 468 << "silent";
            QTest::addRow("%s, a wide window", language) << language << 1200 << QString();
        }
        // A desktop's fonts run wider than the test's: a fifth wider, as under X.
        QTest::newRow("en, no answer, wider fonts") << "en" << 468 << "silent, wider";
    }
    void theStateWinsTheStatusLine()
    {
        QFETCH(QString, language);
        QFETCH(int, width);
        QFETCH(QString, then);
        kvp::test::Language lang(language);
        QTemporaryDir dir;
        const bool silent = then.startsWith(QLatin1String("silent"));
        Window w(SimulatorSettings{.address = 3, .moreAddresses = {7}, .drop = silent ? 1.0 : 0.0});
        w.fillList({3, 7, 9}, 3); // a bus of three, 9 silent
        Options options;
        options.mqtt = BrokerUrl::parse(QStringLiteral("mqtt://127.0.0.1:1/plant"), nullptr);
        MqttControl mqtt(w.window->session(), w.window->statusRow(), w.window->statusMenu(), w.window.get(), options);
        QVERIFY(w.showAndRead());
        w.extras().setTrendOpen(true);
        QVERIFY(w.extras().startRecording(dir.filePath(QStringLiteral("kvp-values-20261209-120000.csv"))));
        QVERIFY(silent ? w.waitCommands(6) : w.waitValues(4));
        if (then == QLatin1String("stop"))
            w.click("Stop");
        else if (then == QLatin1String("unplug"))
            w.module.unplug();
        auto *row = w.window->statusRow();
        if (then.endsWith(QLatin1String("wider")))
            for (QWidget *widget : row->findChildren<QWidget *>()) {
                QFont font = widget->font();
                font.setPointSizeF(font.pointSizeF() * 1.2);
                widget->setFont(font);
            }
        w.window->resize(width, w.window->height());
        QTRY_COMPARE(row->width(), width - 16);
        QTRY_VERIFY(w.child<QWidget>("LineCounts")->isVisible() == (then.isEmpty() || silent));
        auto *state = qobject_cast<ElidedLabel *>(w.child<QLabel>("StatusText"));
        QTRY_VERIFY2(!state->keptText().isEmpty() && state->shownText().startsWith(state->keptText()),
                     qPrintable(state->shownText() + QStringLiteral(" / ") + state->text()));
        QWidget *left = nullptr;
        auto shown = row->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        std::sort(shown.begin(), shown.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
        for (QWidget *widget : shown) {
            if (!widget->isVisible())
                continue;
            QVERIFY2(widget->geometry().right() < row->width(), widget->objectName().toLatin1());
            for (auto *toggle : widget->findChildren<QToolButton *>()) // they shorten nothing: squeezed, they clip
                QVERIFY2(!toggle->isVisible() || toggle->width() >= toggle->sizeHint().width(), qPrintable(toggle->text()));
            if (left)
                QVERIFY2(left->geometry().right() < widget->x(), widget->objectName().toLatin1());
            left = widget;
        }
        if (width < 1000)
            return;
        // Room for all: nothing gives way, and what gave way at the form's width is whole again.
        for (const char *name : {"StatusText", "RecordingRows", "MqttStateLabel"})
            QTRY_VERIFY2(!qobject_cast<ElidedLabel *>(w.child<QLabel>(name))->elided(), name);
        QTRY_COMPARE(w.child<QToolButton>("PortButton")->text(), w.module.devicePath());
        QVERIFY(qobject_cast<ElidedLabel *>(w.child<QLabel>("RecordingRows"))->shownText().contains(QStringLiteral("kvp-values-20261209-120000.csv")));
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(tst_windowextras)
#include "tst_windowextras.moc"
