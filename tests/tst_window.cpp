// The window against the simulated module: what the user sees at start, while
// reading, when the module falls silent, and when something is refused.
#include "sim/SimulatedModule.h"
#include "PortLink.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace kvp;

namespace {

struct Window
{
    explicit Window(SimulatorSettings sim = {}, CycleSettings cycle = {}) : module(sim)
    {
        PortSettings port;
        port.portName = module.devicePath();
        window = std::make_unique<frmMain>(port, cycle);
    }
    template <typename T> T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    QLabel *display() { return child<QLabel>("DataText"); }
    QString status() { return child<QLabel>("StatusText")->text(); }
    QColor displayColour() { return display()->palette().color(QPalette::WindowText); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

    SimulatedModule module;
    std::unique_ptr<frmMain> window;
};

// The message box the window has up, if any; closes it.
QString takeMessage()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
            const QString text = box->text();
            box->close();
            return text;
        }
    }
    return {};
}

// Waits for a message box to come up, and closes it.
QString waitForMessage()
{
    QString text;
    for (int waited = 0; text.isEmpty() && waited < 3000; waited += 10) {
        QTest::qWait(10);
        text = takeMessage();
    }
    return text;
}

} // namespace

class tst_window : public QObject
{
    Q_OBJECT

private slots:
    void windowAtStart()
    {
        Window w;
        QCOMPARE(w.window->windowTitle(), QStringLiteral("数据读取演示"));
        QCOMPARE(w.window->size(), QSize(468, 284));
        QCOMPARE(w.displayColour(), QColor(0, 0, 255));
        QVERIFY(w.status().startsWith(QStringLiteral("就绪")));
        QVERIFY(w.status().contains(w.module.devicePath()));
        QVERIFY(!w.window->windowIcon().isNull());
        // The icons are compiled into a library: they must still be found.
        QVERIFY(QFile::exists(QStringLiteral(":/icons/kvp-reader-32.png")));

        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QCOMPARE(QApplication::focusWidget(), w.child<QWidget>("KVPAdr"));
        QTest::qWait(100);
        QCOMPARE(w.module.module().counters().setups + w.module.module().counters().queries, 0u);
    }

    // Every character of the window's texts must be in the font that draws it.
    void chineseTextsHaveAFont()
    {
        Window w;
        for (const char *name : {"Label1", "DataText", "Read", "Stop", "Quit", "StatusText"}) {
            auto *control = w.window->findChild<QWidget *>(QLatin1String(name));
            const QString text = control->property("text").toString();
            const QFontMetrics metrics(control->font());
            for (const QChar c : text)
                QVERIFY2(metrics.inFont(c), qPrintable(QStringLiteral("%1 has no glyph for %2").arg(name, c)));
        }
    }

    void readShowsValuesAndStopEndsTheQueries()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.click("Read");
        QTRY_VERIFY_WITH_TIMEOUT(w.display()->text() != QStringLiteral("数据显示"), 3000);
        QTRY_VERIFY(w.status().startsWith(QStringLiteral("读取中")));
        const QString first = w.display()->text();
        QTRY_VERIFY_WITH_TIMEOUT(w.display()->text() != first, 3000);

        w.click("Stop");
        QTRY_VERIFY(w.status().startsWith(QStringLiteral("已停止")));
        QTest::qWait(50);
        const auto queries = w.module.module().counters().queries;
        QTest::qWait(200);
        QCOMPARE(w.module.module().counters().queries, queries);
    }

    // Hovering over the value shows the counts of the run; Read starts a new run.
    void countersOnDemand()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const auto hover = [&] {
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w.display()->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(w.display(), &help);
            return QToolTip::text();
        };
        QVERIFY(hover().contains(QStringLiteral("Read")));
        w.click("Read");
        QTRY_VERIFY_WITH_TIMEOUT(w.status().startsWith(QStringLiteral("读取中")), 3000);
        QTest::qWait(100);
        w.click("Stop");
        QTest::qWait(50);
        const QString text = hover();
        const QRegularExpression values(QStringLiteral("^(\\d+) values? in"));
        const auto match = values.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        QVERIFY(match.captured(1).toInt() > 0);
        QVERIFY(text.contains(QStringLiteral("0 time-outs")));
    }

    void readWithInvalidAddressSendsNothing()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        w.child<QLineEdit>("KVPAdr")->setText(QStringLiteral("32"));
        w.click("Read");
        QCOMPARE(waitForMessage(), QStringLiteral("KV-P地址必须是 0 到 31 之间的数字"));
        QTest::qWait(100);
        QCOMPARE(w.module.module().counters().setups, 0u);
        QCOMPARE(w.display()->text(), QStringLiteral("数据显示"));
    }

    // Each fault of the line has its word on the status line and greys the value;
    // when the fault is gone the value is live again.
    void lineFaultsGreyTheDisplay_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("status");
        QTest::newRow("silent module") << "drop" << "模块无应答";
        QTest::newRow("bad check bytes") << "corrupt" << "校验错误";
        QTest::newRow("echo on the line") << "echo" << "校验错误 (echo on the line? try --echo)";
    }

    void lineFaultsGreyTheDisplay()
    {
        QFETCH(QString, fault);
        QFETCH(QString, status);
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(100);
        Window w({}, cycle);
        const auto setFault = [&](bool on) {
            SimulatorSettings &sim = w.module.module().settings();
            sim.drop = fault == QLatin1String("drop") && on ? 1.0 : 0.0;
            sim.corrupt = fault == QLatin1String("corrupt") && on ? 1.0 : 0.0;
            sim.echo = fault == QLatin1String("echo") && on;
        };
        QVERIFY(w.window->Form_Load());
        w.click("Read");
        QTRY_VERIFY_WITH_TIMEOUT(w.status().startsWith(QStringLiteral("读取中")), 3000);
        QTRY_VERIFY(w.display()->text() != QStringLiteral("数据显示"));

        setFault(true);
        QTRY_VERIFY_WITH_TIMEOUT(w.status().startsWith(status + QStringLiteral("  —")), 3000);
        QCOMPARE(w.displayColour(), QColor(0x80, 0x80, 0x80));
        const QString last = w.display()->text();
        QTest::qWait(150);
        QCOMPARE(w.display()->text(), last);

        setFault(false);
        QTRY_VERIFY_WITH_TIMEOUT(w.status().startsWith(QStringLiteral("读取中")), 3000);
        QCOMPARE(w.displayColour(), QColor(0, 0, 255));
    }

    void quitEndsAtOnceWithAQueryOutstanding()
    {
        SimulatorSettings slow;
        slow.turnaroundMs = 2000;
        Window w(slow);
        QVERIFY(w.window->Form_Load());
        w.click("Read");
        QTimer::singleShot(50, w.child<QPushButton>("Quit"), &QPushButton::click);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QApplication::exec(), 0); // the program's own event loop, which Quit ends
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(w.display()->text(), QStringLiteral("数据显示"));
    }

    void removedDeviceKeepsTheWindowAndReadReopens()
    {
        PortLink link;
        SimulatedModule module{SimulatorSettings{}};
        QVERIFY(link.plug(module.devicePath()));
        frmMain window(link.port(), {});
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        QVERIFY(window.Form_Load());
        window.show();
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("读取中")), 3000);
        QVERIFY(link.unplug());
        module.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("设备已断开")), 3000);
        QVERIFY(waitForMessage().contains(link.path()));
        QVERIFY(window.isVisible());

        // The device is still gone: Read says so again instead of crashing.
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        QVERIFY(waitForMessage().contains(link.path()));

        // Another pseudo-terminal under the same name is another device, never the
        // one that went away: it is left alone, and the window still waits.
        SimulatedModule other{SimulatorSettings{}};
        QVERIFY(link.plug(other.devicePath()));
        QTest::qWait(1500); // a look or two at the path
        QCOMPARE(other.module().counters().setups + other.module().counters().queries, 0u);
        QVERIFY(status().startsWith(QStringLiteral("设备已断开")));
    }

    void portThatCannotOpenShowsItsMessageAndNoWindow()
    {
        PortSettings port;
        port.portName = QStringLiteral("/dev/kvp-no-such-port");
        frmMain window(port, {});
        QString message;
        QTimer::singleShot(100, [&] { message = takeMessage(); });
        QVERIFY(!window.Form_Load());
        QVERIFY(message.contains(port.portName));
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_window)
#include "tst_window.moc"
