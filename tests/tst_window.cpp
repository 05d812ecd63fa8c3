// The window against the simulated module: what the user sees at start, while
// reading, when the module falls silent, and when something is refused.
#include "WindowFixture.h"
#include "sim/SimulatedModule.h"
#include "PortLink.h"
#include "ui/FullScreenValue.h"
#include "ui/LineDetails.h"
#include "ui/ModuleListPanel.h"
#include "ui/ValueMeter.h"
#include "ui/StatusRow.h"
#include "ui/WindowExtras.h"
#include "ui/ValueColours.h"
#include "ui/frmMain.h"

#include "app/CommandLine.h"
#include "app/DefaultPort.h"
#include "app/Remembered.h"
#include "app/WindowText.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QToolButton>
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

Q_DECLARE_METATYPE(kvp::SerialPortEntry)

namespace {

// The window's fixture, with what these tests look at.
struct Window : kvp::test::Window
{
    using kvp::test::Window::Window;
    QString port() { return child<QToolButton>("PortButton")->toolTip(); }
    QColor displayColour() { return display()->palette().color(QPalette::WindowText); }
    bool startReading()
    {
        if (!window->Form_Load())
            return false;
        click("Read");
        return QTest::qWaitFor([&] { return status() == QStringLiteral("读取中") && display()->text() != QStringLiteral("数据显示"); }, 3000);
    }
    bool live() { return displayColour() == valueColoursOn(window->palette().color(QPalette::Window)).live; }
};

// Where `widget` is in its window.
QRect inWindow(QWidget *widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

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

// The message boxes up now.
QList<QMessageBox *> notices()
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes << box;
    return boxes;
}

SerialPortEntry usbAdapter(const QString &device, const QString &byId = {})
{
    SerialPortEntry port;
    port.device = device;
    port.stableName = byId;
    port.description = QStringLiteral("FT232R USB UART");
    port.manufacturer = QStringLiteral("FTDI");
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    return port;
}

SerialPortEntry builtInPort(const QString &device)
{
    SerialPortEntry port;
    port.device = device;
    return port;
}

QListWidget *openPortList(frmMain &window)
{
    QTest::mouseClick(window.findChild<QToolButton *>(QStringLiteral("PortButton")), Qt::LeftButton);
    auto *list = window.findChild<QListWidget *>(QStringLiteral("PortList"));
    return list && list->window()->isVisible() ? list : nullptr;
}

// The rightmost column of `label` that is not its background.
int rightmostInk(QLabel *label)
{
    const QImage image = label->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y) != background)
                return x;
    return -1;
}

// Whether the traffic seen so far holds an entry of `kind` for `address`.
bool trafficHas(frmMain &window, TrafficEntry::Kind kind, int address)
{
    const TrafficRing &ring = window.lineDetails()->ring();
    for (std::size_t i = 0; i < ring.size(); ++i)
        if (ring.at(i).kind == kind && ring.at(i).address == address)
            return true;
    return false;
}

} // namespace

class tst_window : public QObject
{
    Q_OBJECT

private slots:
    // Settings go to a folder of this test's own, never to the user's.
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QVERIFY(RememberedStore::fileName().startsWith(m_config.path()));
    }

    void cleanup()
    {
        QFile::remove(RememberedStore::fileName());
        for (QMessageBox *box : notices())
            box->close();
    }

    void windowAtStart()
    {
        Window w;
        QCOMPARE(w.window->windowTitle(), QStringLiteral("数据读取演示"));
        QCOMPARE(w.window->size(), QSize(468, 284));
        // The form's caption is no value: not in the blue of a live one.
        QCOMPARE(w.displayColour(), w.window->palette().color(QPalette::WindowText));
        QVERIFY(!w.live());
        QCOMPARE(w.status(), QStringLiteral("就绪"));
        QVERIFY(w.port().contains(w.module.devicePath()));
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
        QVERIFY(hover().contains(QStringLiteral("读取")));
        w.click("Read");
        QTRY_VERIFY_WITH_TIMEOUT(w.status().startsWith(QStringLiteral("读取中")), 3000);
        QTest::qWait(100);
        w.click("Stop");
        QTest::qWait(50);
        const QString text = hover();
        // In the window's language, as everything else it shows.
        const QRegularExpression values(QStringLiteral("^(\\d+) 个数值"));
        const auto match = values.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        QVERIFY(match.captured(1).toInt() > 0);
        QVERIFY(text.contains(QStringLiteral("0 次超时")));
    }

    void readWithInvalidAddressSendsNothing()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        w.child<QLineEdit>("KVPAdr")->setText(QStringLiteral("32"));
        w.click("Read");
        QCOMPARE(w.status(), QStringLiteral("KV-P地址必须是 0 到 31 之间的数字"));
        QTest::qWait(100);
        QVERIFY(notices().isEmpty());
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
        QTest::newRow("echo on the line") << "echo" << "校验错误 (线路上有回波? 请在 ⋯ 菜单中选择“丢弃 RS-485 回波”)";
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
        QTRY_VERIFY_WITH_TIMEOUT(w.status() == status, 3000);
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
        QVERIFY(notices().isEmpty()); // the status line says it; nothing covers the value
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

    // A value is blue only while it is live: Stop, or a device that came back while
    // stopped, never turns a grey value blue again.
    void stoppedValueStaysGrey_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::newRow("module fell silent, then Stop") << false;
        QTest::newRow("device gone, Stop, device back") << true;
    }

    void stoppedValueStaysGrey()
    {
        QFETCH(bool, unplug);
        PortLink link;
        auto module = std::make_unique<SimulatedModule>(SimulatorSettings{});
        QVERIFY(link.plug(module->devicePath()));
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(100);
        frmMain window(link.port(), cycle);
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        const auto colour = [&] {
            return window.findChild<QLabel *>(QStringLiteral("DataText"))->palette().color(QPalette::WindowText);
        };
        const ValueColours colours = valueColoursOn(window.palette().color(QPalette::Window));
        QVERIFY(window.Form_Load());
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(status() == QStringLiteral("读取中") && colour() == colours.live, 3000);

        if (unplug) {
            QVERIFY(link.unplug());
            module->unplug();
        } else {
            module->module().settings().drop = 1.0;
        }
        QTRY_VERIFY_WITH_TIMEOUT(colour() == colours.stale, 3000);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Stop")), Qt::LeftButton);
        QCOMPARE(colour(), colours.stale);
        if (unplug) {
            // A new pseudo-terminal at the path is another device, which is left
            // alone; either way a stopped reader sends nothing and stays grey.
            module = std::make_unique<SimulatedModule>(SimulatorSettings{});
            QVERIFY(link.plug(module->devicePath()));
            QTest::qWait(1500);
            QCOMPARE(module->module().counters().setups, 0u); // stopped stays stopped
        }
        QCOMPARE(colour(), colours.stale);
    }

    // An address typed while reading that is not one: the line says so and which
    // address is still read, the value greys; a valid one resumes.
    void invalidAddressWhileReading_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("out of range") << "40";
        QTest::newRow("emptied") << "";
        QTest::newRow("not a number") << "x";
        QTest::newRow("negative") << "-4";
    }

    void invalidAddressWhileReading()
    {
        QFETCH(QString, typed);
        Window w(SimulatorSettings{.address = 4});
        w.window->setAddressText(QStringLiteral("4"));
        QVERIFY(w.startReading());
        QVERIFY(w.live());

        w.child<QLineEdit>("KVPAdr")->setText(typed);
        QCOMPARE(w.status(), QStringLiteral("地址无效: 仍在读取地址 4"));
        QVERIFY(!w.live());
        const auto queries = w.module.module().counters().queries;
        QTRY_VERIFY(w.module.module().counters().queries > queries + 3); // address 4 is read on
        QCOMPARE(w.status(), QStringLiteral("地址无效: 仍在读取地址 4"));
        QVERIFY(!w.live());

        w.child<QLineEdit>("KVPAdr")->setText(QStringLiteral("4"));
        QCOMPARE(w.status(), QStringLiteral("读取中"));
        QVERIFY(w.live());
    }

    // A removed device is said on the status line only: nothing, modal or not, is
    // put over the value, and Stop, a port chosen and Close all work meanwhile.
    void removedDeviceIsSaidOnTheStatusLine()
    {
        PortLink link;
        auto module = std::make_unique<SimulatedModule>(SimulatorSettings{});
        QVERIFY(link.plug(module->devicePath()));
        frmMain window(link.port(), {});
        QVERIFY(window.Form_Load());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(window.findChild<QLineEdit *>(QStringLiteral("KVPAdr")), Qt::Key_Return);
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("读取中"), 3000);
        QVERIFY(link.unplug());
        module->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("设备已断开")), 3000);
        QVERIFY(notices().isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        // Stop goes through the notice, and the notice goes by itself once reading
        // moves to a port that works (a pseudo-terminal never comes back as the
        // same device, so another port stands in for the device coming back).
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Stop")), Qt::LeftButton);
        module = std::make_unique<SimulatedModule>(SimulatorSettings{});
        emit window.findChild<PortPicker *>()->chosen(module->devicePath());
        QTRY_COMPARE(status(), QStringLiteral("就绪")); // stopped: a new port, nothing read on it yet
        QCOMPARE(module->module().counters().setups, 0u);
        QVERIFY(link.plug(module->devicePath()));
        emit window.findChild<PortPicker *>()->chosen(link.path());

        // Close goes through it as well.
        QVERIFY(link.unplug());
        module->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("设备已断开")), 3000);
        QTimer::singleShot(0, window.findChild<QPushButton *>(QStringLiteral("Quit")), [&] {
            QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Quit")), Qt::LeftButton);
        });
        QCOMPARE(QApplication::exec(), 0);
    }

    // The keyboard alone reads and stops.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("status");
        QTest::newRow("Enter reads") << int(Qt::Key_Return) << "读取中";
        QTest::newRow("keypad Enter reads") << int(Qt::Key_Enter) << "读取中";
        QTest::newRow("Esc stops") << int(Qt::Key_Escape) << "已停止";
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(QString, status);
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        if (key == Qt::Key_Escape)
            w.click("Read");
        QTest::keyClick(w.child<QLineEdit>("KVPAdr"), Qt::Key(key));
        QTRY_COMPARE_WITH_TIMEOUT(w.status(), status, 3000);
    }

    // An invalid address and Enter: the status line says why, and the box keeps the
    // focus with its text selected, ready to be typed over; no box covers the value.
    void invalidAddressIsSaidOnTheStatusLine()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        auto *box = w.child<QLineEdit>("KVPAdr");
        box->setText(QStringLiteral("32"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(w.status(), QStringLiteral("KV-P地址必须是 0 到 31 之间的数字"));
        QVERIFY(notices().isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QTRY_COMPARE(QApplication::focusWidget(), box);
        QCOMPARE(box->selectedText(), QStringLiteral("32"));
    }

    // Pure blue on a light background, as designed; on any other, a blue that keeps
    // 4.5:1, and a stale colour that stands out less than the live one.
    void valueColours_data()
    {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("pureBlue");
        QTest::newRow("white") << QColor(Qt::white) << true;
        QTest::newRow("light theme grey") << QColor(0xef, 0xef, 0xef) << true;
        QTest::newRow("classic dialog grey") << QColor(0xd4, 0xd0, 0xc8) << true;
        QTest::newRow("dark theme") << QColor(0x35, 0x35, 0x35) << false;
        QTest::newRow("very dark") << QColor(0x1e, 0x1e, 0x1e) << false;
        QTest::newRow("black") << QColor(Qt::black) << false;
        QTest::newRow("mid grey") << QColor(0x80, 0x80, 0x80) << false;
        QTest::newRow("dark blue theme") << QColor(0x00, 0x00, 0x40) << false;
    }

    void valueColours()
    {
        QFETCH(QColor, background);
        QFETCH(bool, pureBlue);
        const ValueColours colours = valueColoursOn(background);
        const double live = contrastRatio(colours.live, background);
        const double stale = contrastRatio(colours.stale, background);
        QCOMPARE(colours.live == QColor(0, 0, 255), pureBlue);
        QVERIFY2(live >= 4.5, qPrintable(QString::number(live)));
        QVERIFY2(stale < live, qPrintable(QStringLiteral("%1 vs %2").arg(stale).arg(live)));
        QVERIFY2(stale >= 2.5, qPrintable(QString::number(stale))); // dimmer, still legible
        QVERIFY(colours.live.blue() > colours.live.red() && colours.live.blue() > colours.live.green());
    }

    // The ratio itself, against the published values.
    void contrast_data()
    {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("same colour") << QColor(0x35, 0x35, 0x35) << QColor(0x35, 0x35, 0x35) << 1.0;
        QTest::newRow("pure blue on white") << QColor(0, 0, 255) << QColor(Qt::white) << 8.59;
        QTest::newRow("grey on white") << QColor(0x80, 0x80, 0x80) << QColor(Qt::white) << 3.95;
        QTest::newRow("pure blue on a dark theme") << QColor(0, 0, 255) << QColor(0x35, 0x35, 0x35) << 1.43;
    }

    void contrast()
    {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, ratio);
        QVERIFY2(std::abs(contrastRatio(a, b) - ratio) < 0.01, qPrintable(QString::number(contrastRatio(a, b))));
        QCOMPARE(contrastRatio(b, a), contrastRatio(a, b));
    }

    // A dark theme switched on while the window is up: the value keeps its contrast.
    void darkPaletteKeepsTheValueReadable()
    {
        Window w;
        QPalette dark = w.window->palette();
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, Qt::white);
        w.window->setPalette(dark);
        QVERIFY(contrastRatio(w.displayColour(), QColor(0x35, 0x35, 0x35)) >= 4.5);
        QVERIFY(w.startReading());
        QVERIFY(w.live());
        QVERIFY(contrastRatio(w.displayColour(), QColor(0x35, 0x35, 0x35)) >= 4.5);
    }

    // The port list shows the fake machine's ports by their stable names with what
    // they are, follows adapters coming and going, and opens from the status line
    // and from Ctrl+P.
    void portListFollowsThePorts()
    {
        Window w;
        QList<SerialPortEntry> ports{builtInPort(QStringLiteral("/dev/ttyS1")), builtInPort(QStringLiteral("/dev/ttyS0")),
                                     usbAdapter(QStringLiteral("/dev/ttyUSB0"),
                                                QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"))};
        w.window->setPortSource([&] { return ports; });
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));

        ports[1].systemConsole = true;
        QListWidget *list = openPortList(*w.window);
        QVERIFY(list);
        QCOMPARE(list->count(), 3);
        QVERIFY(list->item(1)->text().contains(QStringLiteral("系统控制台")) && list->item(1)->flags() == Qt::NoItemFlags);
        const QString adapter = list->item(2)->text();
        QVERIFY2(adapter.startsWith(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"))
                     && adapter.contains(QStringLiteral("/dev/ttyUSB0")) && adapter.contains(QStringLiteral("FTDI"))
                     && adapter.contains(QStringLiteral("FT232R USB UART"))
                     && adapter.contains(QStringLiteral("USB 0403:6001")),
                 qPrintable(adapter));

        ports << usbAdapter(QStringLiteral("/dev/ttyACM0"));
        QTRY_COMPARE(list->count(), 4);
        ports.removeFirst();
        QTRY_COMPARE(list->count(), 3);
        list->window()->hide();

        QTest::keyClick(w.window.get(), Qt::Key_P, Qt::ControlModifier);
        QTRY_VERIFY(list->window()->isVisible());
    }

    // Chosen from the list or typed: the reader closes the old port, opens the new
    // one and reads on, from the module there.
    void choosingAPortWhileReadingSwitchesOver_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::newRow("from the list") << false;
        QTest::newRow("typed path") << true;
    }

    void choosingAPortWhileReadingSwitchesOver()
    {
        QFETCH(bool, typed);
        Window w;
        SimulatedModule other{SimulatorSettings{.seed = 99}};
        w.window->setPortSource([&] { return QList{usbAdapter(other.devicePath())}; });
        QVERIFY(w.startReading());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));

        QListWidget *list = openPortList(*w.window);
        QVERIFY(list);
        if (typed) {
            auto *path = list->window()->findChild<QLineEdit *>(QStringLiteral("PortPath"));
            path->setText(other.devicePath());
            QTest::keyClick(path, Qt::Key_Return);
        } else {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        }
        QVERIFY(!list->window()->isVisible());
        QVERIFY(w.port().contains(other.devicePath()));
        const auto oldQueries = w.module.module().counters().queries;
        QTRY_VERIFY_WITH_TIMEOUT(other.module().counters().queries > 3, 3000);
        QCOMPARE(other.module().counters().setups, 1u); // a new port's module is set up first
        QCOMPARE(w.status(), QStringLiteral("读取中"));
        QVERIFY(w.live());
        QCOMPARE(w.module.module().counters().queries, oldQueries);
    }

    // What was learned of one line's replies is not carried to another port. Reading
    // goes on on the port chosen, also after a port chosen in between was not there.
    void switchingPortsForgetsTheFraming_data()
    {
        QTest::addColumn<bool>("missingFirst");
        QTest::newRow("to the other port") << false;
        QTest::newRow("through a missing one") << true;
    }

    void switchingPortsForgetsTheFraming()
    {
        QFETCH(bool, missingFirst);
        SimulatedModule first{SimulatorSettings{}};
        SimulatedModule second{SimulatorSettings{}};
        PortSettings port;
        port.portName = first.devicePath();
        ReadSession session(port);
        QCOMPARE(session.open(), Condition::none);
        QCOMPARE(session.read(), Condition::none);
        QTRY_VERIFY_WITH_TIMEOUT(session.cycle().framing().length().has_value(), 3000);
        if (missingFirst)
            QCOMPARE(session.switchPort(QStringLiteral("/dev/kvp-missing-port")), Condition::portMissing);
        QCOMPARE(session.switchPort(second.devicePath()), Condition::none);
        QVERIFY(!session.cycle().framing().length().has_value());
        QVERIFY(session.cycle().reading());
        QCOMPARE(session.portName(), second.devicePath());
    }

    // The first port without --port: last time's if it is there, else the one USB
    // adapter, else the first serial port.
    void defaultPortChoice_data()
    {
        QTest::addColumn<QList<SerialPortEntry>>("ports");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("chosen");
        const SerialPortEntry ftdi = usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/serial/by-id/usb-FTDI-port0"));
        const SerialPortEntry acm = usbAdapter(QStringLiteral("/dev/ttyACM0"));
        const SerialPortEntry s0 = builtInPort(QStringLiteral("/dev/ttyS0"));
        const SerialPortEntry s1 = builtInPort(QStringLiteral("/dev/ttyS1"));
        QTest::newRow("no ports at all") << QList<SerialPortEntry>{} << "" << "/dev/ttyS0";
        QTest::newRow("built-in ports only") << QList{s0, s1} << "" << "/dev/ttyS0";
        QTest::newRow("one adapter, by its stable name") << QList{s0, ftdi} << "" << "/dev/serial/by-id/usb-FTDI-port0";
        QTest::newRow("one adapter without a stable name") << QList{s0, acm} << "" << "/dev/ttyACM0";
        QTest::newRow("two adapters: no guess") << QList{s0, ftdi, acm} << "" << "/dev/ttyS0";
        QTest::newRow("last time's, by stable name") << QList{s0, ftdi, acm} << "/dev/serial/by-id/usb-FTDI-port0"
                                                     << "/dev/serial/by-id/usb-FTDI-port0";
        QTest::newRow("last time's, by device") << QList{s0, ftdi, acm} << "/dev/ttyACM0" << "/dev/ttyACM0";
        QTest::newRow("last time's built-in port") << QList{s0, s1, ftdi} << "/dev/ttyS1" << "/dev/ttyS1";
        QTest::newRow("last time's is gone: the one adapter") << QList{s0, acm} << "/dev/ttyUSB3" << "/dev/ttyACM0";
        QTest::newRow("last time's is gone, nothing else") << QList{s0} << "/dev/ttyUSB3" << "/dev/ttyS0";
        QTest::newRow("last time's serial server") << QList{s0, ftdi} << "tcp://gw:4001" << "tcp://gw:4001";
        // The kernel's console is never chosen, however it is found.
        SerialPortEntry s0Console = s0, ftdiConsole = ftdi;
        s0Console.systemConsole = ftdiConsole.systemConsole = true;
        QTest::newRow("ttyS0 is the console") << QList{s0Console, s1} << "" << "/dev/ttyS1";
        QTest::newRow("last time's is the console") << QList{s0Console, s1} << "/dev/ttyS0" << "/dev/ttyS1";
        QTest::newRow("the one adapter is the console") << QList{s0, ftdiConsole} << "" << "/dev/ttyS0";
        QTest::newRow("a console adapter is not a second one") << QList{s0, ftdiConsole, acm} << "" << "/dev/ttyACM0";
    }

    void defaultPortChoice()
    {
        QFETCH(QList<SerialPortEntry>, ports);
        QFETCH(QString, remembered);
        QFETCH(QString, chosen);
        QCOMPARE(defaultPort(ports, remembered), chosen);
    }

    // A port the program chose that will not open: the window comes up all the same,
    // with the reason on the status line and the port list one click away.
    void chosenPortThatCannotOpenIsNoDeadEnd()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("ttyUSB0"));
        const QList<SerialPortEntry> ports{usbAdapter(missing)};
        PortSettings port;
        port.portName = defaultPort(ports, {});
        QCOMPARE(port.portName, missing);
        frmMain window(port, {});
        window.setPortSource([&] { return ports; });
        QVERIFY(window.Form_Load(frmMain::OnPortFailure::carryOn));
        QCOMPARE(notices(), QList<QMessageBox *>{});
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(),
                 QStringLiteral("串口不存在: 点击右侧串口名选择"));
        QVERIFY(window.findChild<QToolButton *>(QStringLiteral("PortButton"))->toolTip().contains(missing));
        QListWidget *list = openPortList(window);
        QVERIFY(list);

        // The module turns up on a port of its own: choosing it reads.
        SimulatedModule module{SimulatorSettings{}};
        auto *path = list->window()->findChild<QLineEdit *>(QStringLiteral("PortPath"));
        path->setText(module.devicePath());
        QTest::keyClick(path, Qt::Key_Return);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(), QStringLiteral("就绪"));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(module.module().counters().queries > 0, 3000);
    }

    // What the command line gives wins; the rest comes from the last run, where it is valid.
    void rememberedOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("file");
        const QString last = QStringLiteral("[read]\naddress=7\necho=true\ntimeoutMs=900\n");
        QTest::newRow("first start: the plain program") << QStringList{} << "0" << 500 << false << "";
        QTest::newRow("last time's settings") << QStringList{} << "7" << 900 << true << last;
        QTest::newRow("the command line wins")
            << QStringList{"--address", "0", "--timeout", "200"} << "0" << 200 << true << last;
        QTest::newRow("--echo wins over none")
            << QStringList{"--echo"} << "0" << 500 << true << "[read]\necho=false\n";
        QTest::newRow("a hand-edited file out of range")
            << QStringList{} << "0" << 500 << false << "[read]\naddress=40\ntimeoutMs=10\n";
        // Only true and false are a setting; anything else is as if nothing were there.
        for (const char *word : {"banana", "yes", "2", ""})
            QTest::addRow("echo=%s", word) << QStringList{} << "0" << 500 << false
                                           << QStringLiteral("[read]\necho=%1\n").arg(QLatin1String(word));
    }

    void rememberedOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(int, timeoutMs);
        QFETCH(bool, echo);
        QFETCH(QString, file);
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(RememberedStore::fileName()).path());
            QFile out(RememberedStore::fileName());
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file.toUtf8());
        }
        const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("kvp-reader")} + arguments);
        QCOMPARE(line.exitCode, -1);
        const Options options = withRemembered(line.options, RememberedStore::load());
        QCOMPARE(options.address, address);
        QCOMPARE(options.timeoutMs, timeoutMs);
        QCOMPARE(options.echo, echo);
    }

    // Read keeps its port and address for the next start, closing keeps the position;
    // the window without a settings file shows what the form says.
    void readIsRemembered()
    {
        QVERIFY(!QFile::exists(RememberedStore::fileName()));
        CycleSettings cycle;
        cycle.replyTimeout = milliseconds(700);
        cycle.dropEcho = true;
        Window w(SimulatorSettings{.address = 5}, cycle);
        QCOMPARE(w.child<QLineEdit>("KVPAdr")->text(), QStringLiteral("0"));
        QCOMPARE(w.display()->text(), QStringLiteral("数据显示"));
        w.window->setRemembering(true);
        w.window->setAddressText(QStringLiteral("5"));
        QVERIFY(w.startReading());
        w.window->move(40, 30);
        w.window->close();

        const Remembered last = RememberedStore::load();
        QCOMPARE(last.port, w.module.devicePath());
        QCOMPARE(last.address, QStringLiteral("5"));
        QCOMPARE(last.echo, std::optional(true));
        QCOMPARE(last.timeoutMs, std::optional(700));
        QCOMPARE(last.position, std::optional(QPoint(40, 30)));
    }

    // The window's list of modules comes back as it was; a hand-edited entry that is
    // no address, or one given twice, is left out and the rest kept.
    void rememberedModules_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("modules");
        QTest::newRow("none yet") << "" << QList<int>{};
        QTest::newRow("as written") << "[window]\nmodules=\"3,7,9\"\n" << QList<int>{3, 7, 9};
        QTest::newRow("junk among them")
            << "[window]\nmodules=\"3, banana,40,-1,0x5,,7,3, 0\"\n" << QList<int>{3, 7, 0};
        QTest::newRow("one address") << "[window]\nmodules=12\n" << QList<int>{12};
    }
    void rememberedModules()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, modules);
        QDir().mkpath(QFileInfo(RememberedStore::fileName()).path());
        QFile out(RememberedStore::fileName());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.toUtf8());
        out.close();
        QCOMPARE(RememberedStore::load().modules, modules);
        // What the window keeps of a list changed in it reads back the same, in address order.
        Window w;
        w.window->setRemembering(true);
        QList<int> kept = modules + QList<int>{31};
        w.window->extras()->modules()->setAddresses(kept);
        std::sort(kept.begin(), kept.end());
        QCOMPARE(RememberedStore::load().modules, kept);
    }

    // Each module's units and limits, and the poll interval, come back as saved; a
    // hand-edited entry that does not read leaves that module with the counts.
    void rememberedReadouts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shown"); // a count of 51234 at address 7; empty: no settings of its own
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("none yet") << "" << "" << 0;
        QTest::newRow("as written by hand") << "[readout]\n7\\scale=0.001\n7\\decimals=2\n7\\unit=kg\n7\\high=50\n"
                                               "[read]\nintervalMs=1000\n" << "51.23" << 1000;
        QTest::newRow("a scale that does not read") << "[readout]\n7\\scale=0,001\n7\\decimals=2\n" << "" << 0;
        QTest::newRow("low above high") << "[readout]\n7\\low=5\n7\\high=1\n" << "" << 0;
        QTest::newRow("decimals out of range") << "[readout]\n7\\decimals=12\n" << "" << 0;
        QTest::newRow("interval out of range") << "[read]\nintervalMs=-5\n" << "" << 0;
    }
    void rememberedReadouts()
    {
        QFETCH(QString, file);
        QFETCH(QString, shown);
        QFETCH(int, intervalMs);
        QDir().mkpath(QFileInfo(RememberedStore::fileName()).path());
        QFile out(RememberedStore::fileName());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.toUtf8());
        out.close();
        const Remembered last = RememberedStore::load();
        QCOMPARE(last.readouts.count(7), size_t(shown.isEmpty() ? 0 : 1));
        if (!shown.isEmpty())
            QCOMPARE(QString::fromStdString(last.readouts.at(7).units.text(51234)), shown);
        QCOMPARE(withRemembered(Options{}, last).intervalMs, intervalMs);
        // What the window saves reads back the same; the defaults leave no entry.
        ReadoutSettings saved;
        saved.units.scale = *DecimalNumber::parse("-2.5e-3");
        saved.units.unit = "N, net";
        saved.limits.low = DecimalNumber{-1, 0};
        saved.limits.deadband = DecimalNumber{5, 1};
        QVERIFY(RememberedStore::saveReadout(3, saved));
        QVERIFY(RememberedStore::saveReadout(7, {}));
        QVERIFY(RememberedStore::load().readouts.at(3) == saved);
        QCOMPARE(RememberedStore::load().readouts.count(7), size_t(0));
    }

    // Settings that cannot be saved are said once on the status line, not on every Read.
    void unsavedSettingsAreSaidOnce()
    {
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(notAFolder.fileName() + QStringLiteral("/config")));
        const auto restore = qScopeGuard([this] { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); });
        Window w;
        w.window->setRemembering(true);
        QVERIFY(w.window->Form_Load());
        w.click("Read");
        QTRY_COMPARE(w.status(), QStringLiteral("读取中 · 设置无法保存到 %1/config/kvp-reader/kvp-reader.conf")
                                     .arg(notAFolder.fileName()));
        w.click("Stop");
        QCOMPARE(w.status(), QStringLiteral("已停止"));
        w.click("Read");
        QTRY_COMPARE(w.status(), QStringLiteral("读取中"));
    }

    // Every control says what it does when hovered.
    void everyControlHasATooltip()
    {
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const auto controls = w.window->findChildren<QWidget *>();
        int checked = 0;
        for (QWidget *control : controls) {
            if (!control->isVisible() || control->objectName().isEmpty() || control->objectName().startsWith("qt_")
                || control == w.child<QWidget>("StatusRow"))
                continue;
            QToolTip::hideText();
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), control->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(control, &help);
            QVERIFY2(!QToolTip::text().isEmpty() || !control->toolTip().isEmpty(), qPrintable(control->objectName()));
            ++checked;
        }
        QVERIFY(checked >= 9);
    }

    // Made larger, the form stays centred at the bottom and the value grows into the
    // room above it; at the form's own size everything is where the form has it.
    void enlargedWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("modules"); // the list of modules open below the form
        QTest::newRow("the form's own size") << QSize(468, 284) << false;
        QTest::newRow("twice as large") << QSize(936, 568) << false;
        QTest::newRow("wide and low") << QSize(1400, 320) << false;
        QTest::newRow("maximised on a full-HD screen") << QSize(1920, 1050) << false;
        QTest::newRow("larger, the module list at the bottom") << QSize(936, 568 + ModuleListPanel::kHeight) << true;
    }
    void enlargedWindow()
    {
        QFETCH(QSize, size);
        QFETCH(bool, modules);
        Window w;
        const QFont formFont = w.display()->font();
        const QRect formValue = w.display()->geometry();
        w.window->show();
        w.window->extras()->setModulesOpen(modules);
        w.window->resize(size);
        QTRY_COMPARE(w.window->size(), size);
        const int panel = modules ? ModuleListPanel::kHeight : 0;
        const int dx = (size.width() - 468) / 2;
        const int dy = size.height() - panel - 284;
        if (modules)
            QCOMPARE(inWindow(w.window->extras()->modules()), QRect(dx, size.height() - panel, 468, panel));
        QCOMPARE(w.child<QPushButton>("Read")->geometry(), QRect(89 + dx, 192 + dy, 89, 41));
        QCOMPARE(w.child<QLineEdit>("KVPAdr")->geometry(), QRect(264 + dx, 120 + dy, 113, 27));
        // The status line takes the window's width, not the form's.
        QCOMPARE(w.child<StatusRow>("StatusRow")->geometry(), QRect(8, 258 + dy, size.width() - 16, 20));
        const QRect value = w.display()->geometry();
        if (size == QSize(468, 284)) {
            QCOMPARE(value, formValue);
            QCOMPARE(w.display()->font(), formFont);
            return;
        }
        QVERIFY(w.display()->font().pointSizeF() > formFont.pointSizeF());
        QVERIFY(value.top() >= 0 && value.bottom() < 120 + dy); // above the address row
        QVERIFY(qAbs(value.center().x() - size.width() / 2) <= 1);
        QVERIFY(QFontMetrics(w.display()->font()).horizontalAdvance(QStringLiteral("-8888888")) <= value.width());
    }

    // Right-aligned in a box that does not change with the value: the last digit
    // stays where it was when the number grows or shrinks.
    void lastDigitStaysPut_data()
    {
        QTest::addColumn<QString>("shorter");
        QTest::addColumn<QString>("longer");
        QTest::addColumn<QSize>("size");
        QTest::newRow("one digit, seven digits") << "7" << "1234567" << QSize(936, 568);
        QTest::newRow("negative, positive") << "-5" << "885" << QSize(936, 568);
        QTest::newRow("at the form's size") << "3" << "12343" << QSize(468, 284);
    }
    void lastDigitStaysPut()
    {
        QFETCH(QString, shorter);
        QFETCH(QString, longer);
        QFETCH(QSize, size);
        Window w;
        w.window->show();
        w.window->resize(size);
        QTRY_COMPARE(w.window->size(), size);
        const auto edge = [&](const QString &text) {
            w.display()->setText(text);
            w.window->meter()->showValue(text, Qt::blue);
            return rightmostInk(w.display());
        };
        QCOMPARE(edge(shorter), edge(longer));
    }

    // F11 shows the value alone, full screen, larger, with its unit and state; F11
    // or Esc returns, and reading goes on.
    void fullScreen_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("F11 returns") << int(Qt::Key_F11);
        QTest::newRow("Esc returns, and does not stop") << int(Qt::Key_Escape);
    }
    void fullScreen()
    {
        QFETCH(int, key);
        Window w;
        w.window->show();
        QVERIFY(w.startReading());
        w.window->meter()->setUnitText(QStringLiteral("kPa"));
        QTest::keyClick(w.window.get(), Qt::Key_F11);
        FullScreenValue *full = w.window->meter()->fullScreenView();
        QVERIFY(full && full->isVisible());
        QVERIFY(full->windowState() & Qt::WindowFullScreen);
        QTRY_COMPARE(full->stateLabel()->text(), QStringLiteral("读取中"));
        QCOMPARE(full->unitLabel()->text(), QStringLiteral("kPa"));
        QVERIFY(full->unitLabel()->isVisible());
        const QString before = full->valueLabel()->text();
        QTRY_VERIFY(full->valueLabel()->text() != before); // it follows the values
        QVERIFY(full->valueLabel()->font().pointSizeF() > 2 * w.display()->font().pointSizeF());
        QVERIFY(full->valueLabel()->accessibleName().endsWith(QStringLiteral(" kPa, 读取中")));
        QTest::keyClick(full, Qt::Key(key));
        QVERIFY(!full->isVisible());
        QVERIFY(!w.window->meter()->fullScreen());
        QCOMPARE(w.status(), QStringLiteral("读取中"));
    }

    // Another address typed starts blank: not the last module's value under the new
    // address, not even from a reply of the old module still on its way.
    void newAddressStartsBlank()
    {
        Window w; // the simulated module answers at 0 only
        w.window->show();
        QVERIFY(w.startReading());
        w.child<QLineEdit>("KVPAdr")->setText(QStringLiteral("5"));
        QCOMPARE(w.display()->text(), QStringLiteral("—"));
        QTRY_VERIFY_WITH_TIMEOUT(trafficHas(*w.window, TrafficEntry::Kind::timeout, 5), 5000);
        QCOMPARE(w.display()->text(), QStringLiteral("—"));
        QVERIFY(!w.live());
    }

    // Enter on a focused button presses it, as Space does.
    void enterOnAFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("status");
        QTest::newRow("Enter on Read") << "Read" << int(Qt::Key_Return) << "读取中";
        QTest::newRow("keypad Enter on Read") << "Read" << int(Qt::Key_Enter) << "读取中";
        QTest::newRow("Enter on Stop") << "Stop" << int(Qt::Key_Return) << "已停止";
    }
    void enterOnAFocusedButton()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(QString, status);
        Window w;
        QVERIFY(w.window->Form_Load());
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        if (button == QLatin1String("Stop"))
            w.click("Read");
        auto *focused = w.child<QPushButton>(button.toLatin1().constData());
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key(key));
        QTRY_COMPARE_WITH_TIMEOUT(w.status(), status, 3000);
    }

    // After the form's buttons, Tab goes on to the status line's controls, each of
    // which looks clickable under the pointer.
    void statusLineControlsAreReachable_data()
    {
        QTest::addColumn<QString>("control");
        QTest::newRow("Trend") << "TrendToggle";
        QTest::newRow("modules") << "ModulesToggle";
        QTest::newRow("port") << "PortButton";
        QTest::newRow("more") << "StatusMenuButton";
    }
    void statusLineControlsAreReachable()
    {
        QFETCH(QString, control);
        Window w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        auto *target = w.child<QToolButton>(control.toLatin1().constData());
        QCOMPARE(target->cursor().shape(), Qt::PointingHandCursor);
        w.child<QPushButton>("Quit")->setFocus();
        for (int tabs = 0; tabs < 8 && QApplication::focusWidget() != target; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), target);
    }

    // What a screen reader says: the box has a name, the value says its state, and
    // "⋯" is "More" in the window's words.
    void accessibleNames()
    {
        Window w;
        w.window->show();
        QVERIFY(!w.child<QLineEdit>("KVPAdr")->accessibleName().isEmpty());
        QCOMPARE(w.child<QToolButton>("StatusMenuButton")->accessibleName(), windowWord(WindowWord::menuTip));
        QVERIFY(w.startReading());
        QTRY_VERIFY(w.display()->accessibleName().endsWith(QStringLiteral(", 实时")));
        QVERIFY(w.display()->accessibleName().startsWith(w.display()->text().left(1)));
        w.click("Stop");
        QTRY_COMPARE(w.display()->accessibleName(), w.display()->text() + QStringLiteral(", 过时"));
    }

    // The address label sits on its box's middle line.
    void addressLabelIsCentredOnItsBox()
    {
        Window w;
        const QLabel *label = w.child<QLabel>("Label1");
        const QLineEdit *box = w.child<QLineEdit>("KVPAdr");
        QCOMPARE(label->geometry().center().y(), box->geometry().center().y());
        QVERIFY(label->alignment() & Qt::AlignVCenter);
    }

    // Under a Chinese (or C) locale none of the window's words is English.
    void noEnglishInTheChineseWindow_data()
    {
        QTest::addColumn<int>("condition");
        QTest::addColumn<bool>("simulated");
        QTest::newRow("device gone") << int(Condition::deviceRemoved) << false;
        QTest::newRow("simulated, reading") << int(Condition::reading) << true;
    }
    void noEnglishInTheChineseWindow()
    {
        QFETCH(int, condition);
        QFETCH(bool, simulated);
        Facts facts;
        facts.port = QStringLiteral("/dev/pts/3");
        facts.simulated = simulated;
        const WindowText text = windowText(Condition(condition), facts);
        const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
        for (const QString &shown : {text.title, text.status, QString(text.port).remove(facts.port)})
            QVERIFY2(!shown.contains(latin), qPrintable(shown));
    }

    // An explicit choice opens whatever is at the path now: a new device at the same
    // path is read, whether the port is chosen again or Read is pressed. Only the
    // automatic reconnection insists on the device it had.
    // The window reads the module behind `link` until its device goes away.
    static void readUntilTheDeviceIsGone(frmMain &window, PortLink &link, SimulatedModule &module)
    {
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        QVERIFY(window.Form_Load());
        window.show();
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("读取中"), 3000);
        QVERIFY(link.unplug());
        module.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("设备已断开")), 3000);
    }

    void explicitChoiceTakesTheDeviceThereNow_data()
    {
        QTest::addColumn<bool>("byRead");
        QTest::newRow("the port chosen again") << false;
        QTest::newRow("Read pressed") << true;
    }
    void explicitChoiceTakesTheDeviceThereNow()
    {
        QFETCH(bool, byRead);
        PortLink link;
        auto first = std::make_unique<SimulatedModule>(SimulatorSettings{});
        QVERIFY(link.plug(first->devicePath()));
        frmMain window(link.port(), {});
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        readUntilTheDeviceIsGone(window, link, *first);
        if (QTest::currentTestFailed())
            return;
        SimulatedModule second{SimulatorSettings{}};
        QVERIFY(link.plug(second.devicePath()));
        if (byRead)
            QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Read")), Qt::LeftButton);
        else
            emit window.findChild<PortPicker *>()->chosen(link.path());
        QTRY_VERIFY_WITH_TIMEOUT(second.module().counters().queries > 0, 3000);
        QTRY_COMPARE(status(), QStringLiteral("读取中"));
    }

    // A port chosen while the device is gone and reading was on: reading goes on
    // there, rather than waiting at "ready" for another Read.
    void choosingAPortWhileTheDeviceIsGoneReadsOn()
    {
        PortLink link;
        auto first = std::make_unique<SimulatedModule>(SimulatorSettings{});
        QVERIFY(link.plug(first->devicePath()));
        frmMain window(link.port(), {});
        const auto status = [&] { return window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(); };
        readUntilTheDeviceIsGone(window, link, *first);
        if (QTest::currentTestFailed())
            return;
        SimulatedModule other{SimulatorSettings{}};
        emit window.findChild<PortPicker *>()->chosen(other.devicePath());
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("读取中"), 3000);
        QTRY_VERIFY(other.module().counters().queries > 0);
    }

    // A simulated run with a real port typed is no longer called simulated.
    void aTypedPortIsNotSimulated()
    {
        Window w;
        w.window->setSimulated(true);
        QVERIFY(w.window->windowTitle() != QStringLiteral("数据读取演示"));
        SimulatedModule other{SimulatorSettings{}};
        emit w.window->findChild<PortPicker *>()->chosen(other.devicePath());
        QCOMPARE(w.window->windowTitle(), QStringLiteral("数据读取演示"));
        QCOMPARE(w.port(), windowWord(WindowWord::portTip).arg(other.devicePath()));
    }

    // The port list takes what is typed: its keyboard search, not the path field.
    void typingGoesToThePortList()
    {
        Window w;
        w.window->setPortSource([] { return QList<SerialPortEntry>{builtInPort(QStringLiteral("/dev/ttyS4")),
                                                                   usbAdapter(QStringLiteral("/dev/ttyUSB0"))}; });
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QListWidget *list = openPortList(*w.window);
        QVERIFY(list);
        QTRY_COMPARE(QApplication::focusWidget(), list);
        auto *path = list->window()->findChild<QLineEdit *>(QStringLiteral("PortPath"));
        const QString typedBefore = path->text();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("/dev/ttyU"));
        QCOMPARE(path->text(), typedBefore);
        QVERIFY(list->currentItem() && list->currentItem()->text().startsWith(QStringLiteral("/dev/ttyUSB0")));
        list->window()->hide();
    }

    // A --port that cannot be opened no longer ends the program: the window comes up
    // with the reason on its status line.
    void aNamedPortThatCannotOpenLeavesTheWindowUp()
    {
        PortSettings port;
        port.portName = QStringLiteral("/dev/kvp-no-such-port");
        frmMain window(port, {});
        QVERIFY(window.Form_Load(frmMain::OnPortFailure::carryOn));
        window.show();
        QVERIFY(notices().isEmpty());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("StatusText"))->text(),
                 windowText(Condition::portMissing, {}).status);
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

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(tst_window)
#include "tst_window.moc"
