// What the window shows at a glance: the big value under the address it came from,
// the status line's messages, and the value full screen.
#include "WindowFixture.h"

#include "ui/ElidedLabel.h"
#include "ui/FullScreenValue.h"
#include "ui/LineDetails.h"
#include "ui/TrafficView.h"
#include "ui/TrendPanel.h"
#include "ui/ModuleListPanel.h"
#include "ui/StatusLine.h"
#include "ui/StatusRow.h"
#include "ui/ValueMeter.h"
#include "ui/WindowExtras.h"
#include "ui/WindowNotices.h"

#include "app/Remembered.h"
#include "app/WindowText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHelpEvent>
#include <QInputDialog>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTimer>
#include <QToolTip>

using namespace kvp;
using namespace kvp::test;
using namespace std::chrono_literals;

namespace {

// A module that answers at 0 and, on a bus, at 3; every other address is silent.
SimulatorSettings twoModules()
{
    return SimulatorSettings{.moreAddresses = {3}};
}

ReadoutSettings kilograms(std::optional<double> low = {})
{
    ReadoutSettings settings;
    settings.units.scale = *DecimalNumber::parse("0.001");
    settings.units.decimals = 3;
    settings.units.unit = "kg";
    if (low)
        settings.limits.low = *DecimalNumber::parse(std::to_string(*low));
    return settings;
}

const QString kNoValue = QStringLiteral("—");

QString row(const ModuleListPanel &list, int address, int column)
{
    const QTableWidget *table = list.table();
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0)->text() == QString::number(address))
            return table->item(r, column)->text();
    return {};
}

} // namespace

class tst_windowview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    void cleanup() { QFile::remove(RememberedStore::fileName()); }

    // Whatever order typing, Enter, Read and Stop come in, the number on display,
    // the one copied and the one a screen reader hears are the box's module's.
    void valueStaysWithItsAddress_data()
    {
        QTest::addColumn<bool>("bus"); // 0 and 3 in the list of modules
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("shown"); // whose value; -1: none, "—"
        QTest::newRow("a silent address, past an invalid one, back to it")
            << false << QStringList{"12", "enter", "wait", "40", "12", "enter", "wait"} << -1;
        QTest::newRow("typed without Enter") << false << QStringList{"12", "wait"} << -1;
        QTest::newRow("typed, not yet answered") << false << QStringList{"12"} << -1;
        QTest::newRow("back to the module read") << false << QStringList{"12", "enter", "wait", "0", "enter", "wait"} << 0;
        QTest::newRow("an invalid address reads on the last valid one") << false << QStringList{"x", "wait"} << 0;
        QTest::newRow("typed in full-width digits") << false << QStringList{"３", "enter", "wait", "wait"} << 3;
        QTest::newRow("stopped, another address") << false << QStringList{"stop", "5"} << -1;
        QTest::newRow("stopped, an invalid address and back") << false << QStringList{"stop", "x", "0"} << 0;
        QTest::newRow("stopped, a silent address read, back") << false << QStringList{"stop", "12", "read", "wait", "0", "wait"} << 0;
        QTest::newRow("bus: an address off the bus, then invalid") << true << QStringList{"12", "40", "wait"} << -1;
        QTest::newRow("bus: the other module of the bus") << true << QStringList{"3", "wait", "wait"} << 3;
        QTest::newRow("bus: off the bus, invalid, back on it") << true << QStringList{"12", "40", "3", "wait", "wait"} << 3;
    }
    void valueStaysWithItsAddress()
    {
        QFETCH(bool, bus);
        QFETCH(QStringList, steps);
        QFETCH(int, shown);
        Window w(twoModules());
        auto &sent = w.observeValues();
        if (bus)
            w.window->extras()->modules()->setAddresses({0, 3});
        QVERIFY(w.showAndRead());
        QVERIFY(w.waitCommands(2));
        for (const QString &step : steps) {
            if (step == QLatin1String("enter"))
                QTest::keyClick(w.child<QLineEdit>("KVPAdr"), Qt::Key_Return);
            else if (step == QLatin1String("read"))
                w.click("Read");
            else if (step == QLatin1String("stop"))
                w.click("Stop");
            else if (step == QLatin1String("wait"))
                QVERIFY(w.waitCommands(3));
            else
                w.type(step);
        }
        const QString text = w.display()->text();
        QApplication::clipboard()->clear();
        QTest::keyClick(w.window.get(), Qt::Key_C, Qt::ControlModifier);
        const QString copied = QApplication::clipboard()->text().section(QLatin1Char(' '), 0, 0);
        if (shown < 0) {
            QCOMPARE(text, kNoValue);
            QCOMPARE(copied, QString());
            // No value is no live value: never in its blue.
            QVERIFY(w.display()->palette().color(QPalette::WindowText)
                    != valueColoursOn(w.window->palette().color(QPalette::Window)).live);
        } else {
            QVERIFY2(sent[shown].contains(text), qPrintable(text));
            QCOMPARE(copied, text);
            if (bus) // the list's row says the very number, not the one of its last refresh
                QCOMPARE(row(*w.window->extras()->modules(), shown, 1), text);
        }
        QVERIFY(w.display()->accessibleName().startsWith(text));
    }

    // The status line takes the window's width; what does not fit ends in "…", and
    // the whole of it is the tooltip and the accessible description.
    void longMessagesEndInAnEllipsis_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("elided");
        const QString notice = QStringLiteral("设置无法保存到 /home/user/.config/kvp-reader/kvp-reader.conf");
        QTest::newRow("English, the form's width") << "en" << 468 << QString() << true;
        QTest::newRow("English, a wide window") << "en" << 1200 << QString() << false;
        QTest::newRow("Chinese with a notice, the form's width") << "zh" << 468 << notice << true;
        QTest::newRow("Chinese with a notice, a wide window") << "zh" << 1200 << notice << false;
    }
    void longMessagesEndInAnEllipsis()
    {
        QFETCH(QString, language);
        QFETCH(int, width);
        QFETCH(QString, notice);
        QFETCH(bool, elided);
        Language lang(language);
        // A port the program chose that is not there: the reason and the long name share the line.
        Window w({}, {}, QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
        QVERIFY(w.window->Form_Load(frmMain::OnPortFailure::carryOn));
        w.window->show();
        w.window->resize(width, 284);
        QTRY_COMPARE(w.window->width(), width);
        if (!notice.isEmpty())
            w.window->notices()->note(notice);
        auto *row = w.child<StatusRow>("StatusRow");
        QTRY_COMPARE(row->width(), width - 16);
        auto *label = qobject_cast<ElidedLabel *>(w.child<QLabel>("StatusText"));
        QVERIFY(label);
        const QString whole = label->text();
        QVERIFY(whole.startsWith(w.window->statusLine()->state()));
        QCOMPARE(label->elided(), elided);
        QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->shownText()) <= label->contentsRect().width());
        if (elided)
            QVERIFY(label->shownText().endsWith(QStringLiteral("…")));
        else
            QCOMPARE(label->shownText(), whole);
        // What is drawn is what it says is shown.
        const QImage drawn = label->grab().toImage();
        label->setText(label->shownText());
        QCOMPARE(label->grab().toImage(), drawn);
        label->setText(whole);
        QVERIFY(label->accessibleDescription().startsWith(whole));
        QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), label->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(label, &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().startsWith(whole));
        QToolTip::hideText();
    }

    // The trend's figures under the chart stay within the panel: what does not fit
    // ends in "…", and hovering shows the whole of it.
    void trendFiguresFitThePanel_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("bus"); // the figures name their module, in whole kilograms
        QTest::newRow("Chinese, a bus") << "zh" << true;
        QTest::newRow("English, a bus") << "en" << true;
        QTest::newRow("English, one module") << "en" << false;
    }
    void trendFiguresFitThePanel()
    {
        QFETCH(QString, language);
        QFETCH(bool, bus);
        Language lang(language);
        Window w(twoModules());
        ReadoutSettings readout = kilograms();
        if (bus) {
            w.window->extras()->modules()->setAddresses({0, 3});
            readout.units.scale = *DecimalNumber::parse("1");
        }
        w.window->session().setReadout(0, readout);
        QVERIFY(w.showAndRead());
        w.window->extras()->setTrendOpen(true);
        QVERIFY(w.waitCommands(6));
        w.window->extras()->trend()->redraw();
        auto *figures = w.child<QLabel>("TrendStats");
        const QString whole = figures->text();
        QVERIFY2(whole.contains(QStringLiteral(" kg")), qPrintable(whole));
        const auto *elided = qobject_cast<ElidedLabel *>(figures);
        const QString shown = elided ? elided->shownText() : whole;
        const QRect room(figures->mapTo(w.window.get(), figures->contentsRect().topLeft()), figures->contentsRect().size());
        const int right = room.left() + figures->fontMetrics().horizontalAdvance(shown);
        QVERIFY2(right <= room.right() + 1 && right <= w.window->width(), qPrintable(shown));
        QCOMPARE(shown == whole, !bus);
        QCOMPARE(figures->toolTip(), whole);
    }

    // A notice gives way: it goes after a while, at a click, or when the state changes.
    void noticesGiveWay_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("after");
        QTest::newRow("it expires") << "wait" << "读取中";
        QTest::newRow("a click dismisses it") << "click" << "读取中";
        QTest::newRow("a new state wins over it") << "stop" << "已停止";
        QTest::newRow("the device gone wins over it") << "unplug" << "设备已断开, 等待它回来";
    }
    void noticesGiveWay()
    {
        QFETCH(QString, how);
        QFETCH(QString, after);
        QTemporaryDir dir;
        Window w;
        QVERIFY(w.showAndRead());
        w.window->statusLine()->setNoticeLifetime(how == QLatin1String("wait") ? 50ms : 1h);
        QVERIFY(w.window->extras()->startRecording(dir.filePath(QStringLiteral("values.csv"))));
        QVERIFY(w.waitCommands(2));
        w.window->extras()->stopRecording();
        QVERIFY(w.status().startsWith(QStringLiteral("读取中 · 已记录")));
        QVERIFY(!w.child<QLabel>("RecordingRows")->isVisible());
        if (how == QLatin1String("click"))
            QTest::mouseClick(w.child<QLabel>("StatusText"), Qt::LeftButton);
        else if (how == QLatin1String("stop"))
            w.click("Stop");
        else if (how == QLatin1String("unplug"))
            w.module.unplug();
        QTRY_COMPARE(w.status(), after);
    }

    // Full screen, the value fits whatever its module's settings make of it, and the
    // state line below it fits or wraps, in either language.
    void fullScreenFitsTheWidestValue_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<double>("low"); // the low limit, in kg
        QTest::addColumn<QString>("widest");
        QTest::newRow("Chinese, below the low limit") << "zh" << 1e6 << QStringLiteral("▼ -8888.888 kg");
        QTest::newRow("English, below the low limit") << "en" << 1e6 << QStringLiteral("▼ -8888.888 kg");
        QTest::newRow("English, within") << "en" << -1e6 << QStringLiteral("▲ -8888.888 kg");
    }
    void fullScreenFitsTheWidestValue()
    {
        QFETCH(QString, language);
        QFETCH(double, low);
        QFETCH(QString, widest);
        Language lang(language);
        Window w;
        w.window->session().setReadout(0, kilograms(low));
        QVERIFY(w.showAndRead());
        QTRY_VERIFY(w.display()->text().endsWith(QStringLiteral(" kg")));
        QTest::keyClick(w.window.get(), Qt::Key_F11);
        FullScreenValue *full = w.window->meter()->fullScreenView();
        QVERIFY(full);
        QTRY_VERIFY(full->isVisible());
        QTRY_COMPARE(full->stateLabel()->text(), w.status());
        const QSize screen = full->size();
        QLabel *value = full->valueLabel();
        const QFontMetrics big(value->font());
        for (const QString &text : {value->text(), widest})
            QVERIFY2(big.horizontalAdvance(text) <= value->contentsRect().width(), qPrintable(text));
        QVERIFY(value->geometry().left() >= 0 && value->geometry().right() < screen.width());
        // Once laid out: on one line, or wrapped, within the screen and within its label.
        QLabel *state = full->stateLabel();
        const auto fits = [&] {
            const QRect need = QFontMetrics(state->font()).boundingRect(
                QRect(0, 0, state->width(), screen.height()), Qt::TextWordWrap, state->text());
            return need.width() <= state->width() && need.height() <= state->height() && state->geometry().left() >= 0
                   && state->geometry().right() < screen.width();
        };
        QTRY_VERIFY2(fits(), qPrintable(state->text()));
    }

    // The digits keep their size when a limit's symbol comes, as they do when it goes.
    void valueKeepsItsSizeAtALimit()
    {
        qreal points[2];
        for (const double low : {-1e6, 1e6}) { // within, then every value below it
            Window w;
            w.window->session().setReadout(0, kilograms(low));
            QVERIFY(w.showAndRead());
            QTRY_VERIFY(w.display()->text().endsWith(QStringLiteral(" kg")));
            QCOMPARE(w.display()->text().startsWith(QStringLiteral("▼")), low > 0);
            points[low > 0] = w.display()->font().pointSizeF();
        }
        QCOMPARE(points[1], points[0]);
    }

    // "—" stands where a number would, right-aligned, and the caption stays put.
    void noValueStandsWhereNumbersDo()
    {
        Window w;
        const Qt::Alignment caption = w.display()->alignment();
        QVERIFY(w.showAndRead());
        QVERIFY(w.display()->alignment() & Qt::AlignRight);
        w.type(QStringLiteral("5"));
        QCOMPARE(w.display()->text(), kNoValue);
        QVERIFY(w.display()->alignment() & Qt::AlignRight);
        QVERIFY(!(caption & Qt::AlignRight));
    }

    // The time-out and the poll interval are asked in dialogs of their own that say
    // what they take.
    void dialogsSayWhatTheyTake_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("range");
        QTest::newRow("time-out") << "" << "应答超时" << QStringList{"50", "60000"};
        QTest::newRow("poll interval") << "IntervalAction" << "查询间隔" << QStringList{"0", "3600000"};
    }
    void dialogsSayWhatTheyTake()
    {
        QFETCH(QString, action);
        QFETCH(QString, title);
        QFETCH(QStringList, range);
        Window w;
        w.window->show();
        QString seenTitle, seenLabel;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seenTitle = dialog->windowTitle();
            seenLabel = dialog->labelText();
            dialog->reject();
        });
        QAction *entry = nullptr;
        for (QAction *a : w.window->statusMenu()->actions())
            if (action.isEmpty() ? a->text() == windowWord(WindowWord::timeoutMenuEntry) : a->objectName() == action)
                entry = a;
        QVERIFY(entry);
        entry->trigger();
        QCOMPARE(seenTitle, title);
        for (const QString &bound : range)
            QVERIFY2(seenLabel.contains(bound), qPrintable(seenLabel));
    }

    // On a screen too short for the form, the trend and the list, the window stays
    // on the screen and the list within reach.
    void panelsFitAShortScreen()
    {
        Window w;
        w.window->show();
        const int screen = w.window->screen()->availableGeometry().height();
        if (284 + TrendPanel::kMinHeight + ModuleListPanel::kHeight <= screen)
            QSKIP("a screen tall enough for all: see tst_windowview_short");
        w.window->extras()->setTrendOpen(true);
        w.window->extras()->setModulesOpen(true);
        QTRY_VERIFY(w.window->height() <= screen);
        auto *area = w.child<QScrollArea>("Panels");
        QVERIFY(area);
        ModuleListPanel *list = w.window->extras()->modules();
        area->ensureWidgetVisible(list->table());
        const QRect shown(list->table()->mapTo(w.window.get(), QPoint(0, 0)), QSize(1, 1));
        QVERIFY(w.window->rect().contains(shown));
    }

    // The traffic view opens beside the form, not over it.
    void trafficViewOpensBeside()
    {
        Window w;
        w.window->move(0, 0);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QWidget *view = w.window->lineDetails()->openTraffic();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QTRY_VERIFY(!view->frameGeometry().intersects(w.window->frameGeometry()));
    }

    // A module taken off the list and added back starts blank: no value of the time
    // it was not listed, as if just read, in its row or big.
    void aModuleAddedBackStartsBlank()
    {
        Window w(twoModules());
        ModuleListPanel *list = w.window->extras()->modules();
        list->setAddresses({0, 3});
        w.window->extras()->setModulesOpen(true);
        w.window->setAddressText(QStringLiteral("3"));
        QVERIFY(w.showAndRead());
        QTRY_VERIFY(!list->lastValue(3).isEmpty());
        list->removeAddress(3); // the box's module is read on alone
        QVERIFY(w.waitCommands(3));
        w.click("Stop");
        list->addAddress(3);
        list->refresh();
        QCOMPARE(list->lastValue(3), QString());
        w.click("Read"); // a bus again: until 3 answers, nothing of it
        list->refresh();
        QCOMPARE(row(*list, 3, 1), kNoValue);
        QVERIFY(row(*list, 3, 2) != QStringLiteral("实时"));
    }

    // The window speaks its own language and points at its own controls (the port
    // list, the menu), never at the command line's options.
    void wordsOfTheWindowItself_data()
    {
        QTest::addColumn<QString>("text");
        Facts facts;
        facts.port = QStringLiteral("/dev/ttyUSB0");
        for (const Condition c : {Condition::portMissing, Condition::portIsTerminal, Condition::portIsConsole,
                                  Condition::pathTooLong, Condition::echoOnLine, Condition::repliesLate,
                                  Condition::portChanged}) {
            const WindowText text = windowText(c, facts);
            QTest::addRow("condition %d, state", int(c)) << text.status;
            QTest::addRow("condition %d, message", int(c)) << text.message;
        }
        QTest::newRow("echo menu entry") << windowWord(WindowWord::echoMenuEntry);
        const BrokerUrl url = *BrokerUrl::parse(QStringLiteral("mqtt://broker.example/plant"), nullptr);
        for (const BrokerTrouble t : {BrokerTrouble::refused, BrokerTrouble::unknownHost, BrokerTrouble::loginRefused,
                                      BrokerTrouble::notAuthorised, BrokerTrouble::tlsFailed, BrokerTrouble::noAnswer,
                                      BrokerTrouble::lost})
            QTest::addRow("broker trouble %d", int(t)) << windowBrokerText(t, url, {});
        for (const QString &bad : {QStringLiteral("http://x/p"), QStringLiteral("mqtt://host"), QStringLiteral("mqtt://@h/p"),
                                   QStringLiteral("mqtt://[::1/p"), QStringLiteral("mqtt://h:/p"), QStringLiteral("mqtt:///p"),
                                   QStringLiteral("mqtt://h:99999/p"), QStringLiteral("mqtt://h/a//b")}) {
            BrokerUrlFault fault{};
            QString part;
            QVERIFY(!BrokerUrl::parse(bad, nullptr, &fault, &part));
            QTest::addRow("%s", qPrintable(bad)) << windowBrokerUrlText(fault, part);
        }
    }
    void wordsOfTheWindowItself()
    {
        QFETCH(QString, text);
        QVERIFY2(!text.contains(QStringLiteral("--")), qPrintable(text));
        // Names, addresses and examples aside, no English word.
        QString words = text;
        words.remove(QRegularExpression(QStringLiteral("\\S*[/:.@'%$]\\S*")));
        for (const char *name : {"MQTT", "TLS", "IPv6", "CA", "RS-485", "Ctrl+P", "KV-P", "kvp-reader"})
            words.remove(QLatin1String(name));
        QVERIFY2(!words.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}"))), qPrintable(text));
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(tst_windowview)
#include "tst_windowview.moc"
