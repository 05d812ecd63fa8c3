// What the user is told: which condition each port error and each cycle status
// means, what the words for it name, and when the window can be started at all.
#include "app/ConditionOf.h"
#include "app/ConsoleText.h"
#include "app/DisplayCheck.h"
#include "app/QtMessageRouting.h"
#include "app/WindowText.h"
#include "serial/PortCondition.h"

#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace kvp;

class tst_conditions : public QObject
{
    Q_OBJECT

private slots:
    void portErrors_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("wasOpen");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<Condition>("expected");

        // An open port.
        QTest::newRow("USB adapter pulled: ResourceError") << QSerialPort::ResourceError << true << false << false
                                                           << Condition::deviceRemoved;
        QTest::newRow("pty hung up: ReadError") << QSerialPort::ReadError << true << false << false
                                                << Condition::deviceRemoved;
        QTest::newRow("write refused, device there") << QSerialPort::WriteError << true << true << true
                                                     << Condition::writeFailed;
        QTest::newRow("write refused, device gone") << QSerialPort::WriteError << true << false << false
                                                    << Condition::deviceRemoved;
        QTest::newRow("time-out of a blocking call") << QSerialPort::TimeoutError << true << true << true
                                                     << Condition::none;
        QTest::newRow("unsupported operation while open") << QSerialPort::UnsupportedOperationError << true
                                                          << true << true << Condition::none;
        QTest::newRow("no error") << QSerialPort::NoError << true << true << true << Condition::none;

        // Opening.
        QTest::newRow("no such device") << QSerialPort::DeviceNotFoundError << false << false << false
                                        << Condition::portMissing;
        QTest::newRow("node not ours") << QSerialPort::PermissionError << false << true << false
                                       << Condition::permissionDenied;
        QTest::newRow("node ours, but locked") << QSerialPort::PermissionError << false << true << true
                                               << Condition::portInUse;
        QTest::newRow("opened elsewhere exclusively") << QSerialPort::OpenError << false << true << true
                                                      << Condition::portInUse;
        QTest::newRow("not a serial port (/dev/null)") << QSerialPort::UnsupportedOperationError << false << true
                                                       << true << Condition::portSetup;
        QTest::newRow("vanished while opening") << QSerialPort::ResourceError << false << false << false
                                                << Condition::portMissing;
        QTest::newRow("opened without a fault") << QSerialPort::NoError << false << true << true
                                                << Condition::none;
    }

    void portErrors()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, wasOpen);
        QFETCH(bool, exists);
        QFETCH(bool, accessible);
        QFETCH(Condition, expected);
        QCOMPARE(portCondition(error, PortFacts{wasOpen, exists, accessible}), expected);
    }

    void cycleStatus_data()
    {
        QTest::addColumn<CyclePhase>("phase");
        QTest::addColumn<StaleReason>("stale");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<bool>("late");
        QTest::addColumn<Condition>("expected");

        QTest::newRow("nothing read yet") << CyclePhase::ready << StaleReason::none << false << false
                                          << Condition::ready;
        QTest::newRow("values arriving") << CyclePhase::reading << StaleReason::none << false << false
                                         << Condition::reading;
        QTest::newRow("stopped") << CyclePhase::stopped << StaleReason::none << false << false << Condition::stopped;
        QTest::newRow("stopped, replies were late") << CyclePhase::stopped << StaleReason::none << false << true
                                                    << Condition::stopped;
        QTest::newRow("silent module") << CyclePhase::reading << StaleReason::noAnswer << false << false
                                       << Condition::noAnswer;
        QTest::newRow("silent because late") << CyclePhase::reading << StaleReason::noAnswer << false << true
                                             << Condition::repliesLate;
        QTest::newRow("replies cut short") << CyclePhase::reading << StaleReason::cutShort << false << false
                                           << Condition::repliesCutShort;
        QTest::newRow("bad check bytes") << CyclePhase::reading << StaleReason::badCheck << false << false
                                         << Condition::badCheck;
        QTest::newRow("bad check bytes from an echo") << CyclePhase::reading << StaleReason::badCheck << true
                                                      << false << Condition::echoOnLine;
    }

    void cycleStatus()
    {
        QFETCH(CyclePhase, phase);
        QFETCH(StaleReason, stale);
        QFETCH(bool, echo);
        QFETCH(bool, late);
        QFETCH(Condition, expected);
        QCOMPARE(conditionOf(CycleStatus{phase, stale, echo, late}), expected);
    }

    // Each failure names what failed, keeps the system's reason, and says what to do;
    // the window's message box, in the window's language, names the same port and reason
    // (that its English is the console's is tst_l10n's to show: the translation is the window's).
    void failureWords_data()
    {
        QTest::addColumn<Condition>("condition");
        QTest::addColumn<QString>("advice");

        QTest::newRow("port missing") << Condition::portMissing << "--list-ports";
        QTest::newRow("permission") << Condition::permissionDenied << "adduser";
        QTest::newRow("in use") << Condition::portInUse << "Close that program";
        QTest::newRow("line settings") << Condition::portSetup << "19200";
        QTest::newRow("line settings of a serial server")
            << Condition::portSetup << "rfc2217://10.0.0.9:2217 does not set its line to 19200 bit/s, even parity, "
                                       "8 data bits, 1 stop bit. Set that port's line in the server's own configuration";
        QTest::newRow("device removed") << Condition::deviceRemoved << "plug it in again";
        QTest::newRow("write failed") << Condition::writeFailed << "cable";
    }

    void failureWords()
    {
        QFETCH(Condition, condition);
        QFETCH(QString, advice);
        Facts facts;
        facts.port = advice.contains(QLatin1String("rfc2217://")) ? advice.section(QLatin1Char(' '), 0, 0)
                                                                    : QStringLiteral("/dev/ttyKVP7");
        facts.detail = QStringLiteral("Input/output error");
        const QString console = consoleText(condition, facts);
        QVERIFY2(console.contains(facts.port) && console.contains(facts.detail) && console.contains(advice),
                 qPrintable(console));
        const QString message = windowText(condition, facts).message;
        QVERIFY2(message.contains(facts.port) && message.contains(facts.detail), qPrintable(message));
    }

    // A module set aside on a bus: the words say how many share the silent ones' turn
    // and so how often each is asked, and a late one is told apart from a silent one.
    void setAsideSaysHowOften_data()
    {
        QTest::addColumn<Condition>("condition");
        QTest::addColumn<int>("aside");
        QTest::addColumn<int>("periodMs");
        QTest::addColumn<QString>("says");
        QTest::newRow("one silent") << Condition::moduleBackedOff << 1 << 940 << "does not answer; asking it every 0.9 s";
        QTest::newRow("30 silent") << Condition::moduleBackedOff << 30 << 15'200
                                   << "does not answer; asking the 30 silent ones in turn, each every 15 s";
        QTest::newRow("late, alone") << Condition::moduleLate << 1 << 6'500
                                     << "answers only after the time-out; asking it every 6.5 s, so that the others keep "
                                        "their pace. A longer --timeout reads it in turn again.";
        QTest::newRow("late, with 2 silent") << Condition::moduleLate << 3 << 21'000
                                             << "answers only after the time-out; asking it in turn with the 3 silent or "
                                                "late ones, each every 21 s, so that";
    }
    void setAsideSaysHowOften()
    {
        QFETCH(Condition, condition);
        QFETCH(int, aside);
        QFETCH(int, periodMs);
        QFETCH(QString, says);
        Facts facts;
        facts.address = 9;
        facts.port = QStringLiteral("/dev/ttyKVP7");
        facts.count = aside;
        facts.periodMs = periodMs;
        const QString text = consoleText(condition, facts);
        QVERIFY2(text.startsWith("address 9 on /dev/ttyKVP7 " + says), qPrintable(text));
    }

    // The advice for a file that cannot be written fits the errno of the failing call.
    void fileAdviceFitsTheError_data()
    {
        QTest::addColumn<Condition>("condition");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("advice");
        QTest::newRow("--log /proc/self/status") << Condition::logWriteFailed << EINVAL << "does not take values";
        QTest::newRow("recording on a full disk") << Condition::logFile << ENOSPC << "Free some space";
        QTest::newRow("recording stopped by a quota") << Condition::recordingFailed << EDQUOT << "Free some space";
        QTest::newRow("read-only folder") << Condition::logFile << EROFS << "folder you may write to";
        QTest::newRow("full disk, reason unknown") << Condition::logWriteFailed << 0 << "Free some space";
        QTest::newRow("a FIFO nothing reads") << Condition::logFile << ENXIO << "nothing reads";
    }

    void fileAdviceFitsTheError()
    {
        QFETCH(Condition, condition);
        QFETCH(int, error);
        QFETCH(QString, advice);
        Facts facts;
        facts.file = QStringLiteral("/tmp/values.csv");
        facts.error = error;
        const QString console = consoleText(condition, facts);
        for (const char *any : {"does not take values", "Free some space", "folder you may write to", "nothing reads"})
            QVERIFY2(console.contains(QLatin1String(any)) == (advice == QLatin1String(any)), qPrintable(console));
    }

    // The status line names the state and the port, and marks a simulated module.
    void windowStatusLine_data()
    {
        QTest::addColumn<Condition>("condition");
        QTest::addColumn<bool>("simulated");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("message");

        QTest::newRow("ready") << Condition::ready << false << "就绪" << "/dev/ttyUSB0" << false;
        QTest::newRow("reading, simulated") << Condition::reading << true << "读取中"
                                            << "模拟模块, 串口 /dev/ttyUSB0" << false;
        QTest::newRow("late replies") << Condition::repliesLate << false << "应答晚于超时: 请在 ⋯ 菜单中加大“应答超时”"
                                      << "/dev/ttyUSB0" << false;
        QTest::newRow("device removed") << Condition::deviceRemoved << false
                                        << "设备已断开, 等待它回来" << "/dev/ttyUSB0" << true;
        QTest::newRow("port missing names no more than the line holds")
            << Condition::portMissing << false << "串口不存在: 点击右侧串口名选择" << "/dev/ttyUSB0" << true;
        QTest::newRow("typed address not valid, the old one read on")
            << Condition::addressKept << false << "地址无效: 仍在读取地址 4" << "/dev/ttyUSB0" << false;
        QTest::newRow("invalid address keeps the line") << Condition::invalidAddress << false << ""
                                                        << "/dev/ttyUSB0" << true;
    }

    void windowStatusLine()
    {
        QFETCH(Condition, condition);
        QFETCH(bool, simulated);
        QFETCH(QString, status);
        QFETCH(QString, port);
        QFETCH(bool, message);
        Facts facts;
        facts.port = QStringLiteral("/dev/ttyUSB0");
        facts.address = 4;
        facts.simulated = simulated;
        const WindowText text = windowText(condition, facts);
        QCOMPARE(text.status, status);
        QCOMPARE(text.port, port);
        QCOMPARE(!text.message.isEmpty(), message);
        QCOMPARE(text.title.contains(QStringLiteral("模拟模块")), simulated);
    }

    void display_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("x11");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("available");

        QTest::newRow("nothing at all") << "" << "" << "" << false;
        QTest::newRow("X server") << "" << ":0" << "" << true;
        QTest::newRow("Wayland session") << "" << "" << "wayland-0" << true;
        QTest::newRow("offscreen") << "offscreen" << "" << "" << true;
        QTest::newRow("vnc with arguments") << "vnc:size=800x600" << "" << "" << true;
        QTest::newRow("xcb asked for, no X server") << "xcb" << "" << "wayland-0" << false;
        QTest::newRow("wayland asked for, none there") << "wayland" << ":0" << "" << false;
        QTest::newRow("fall-back list reaches X") << "wayland;xcb" << ":0" << "" << true;
    }

    void display()
    {
        QFETCH(QString, platform);
        QFETCH(QString, x11);
        QFETCH(QString, wayland);
        QFETCH(bool, available);
        QCOMPARE(displayAvailable(platform, x11, wayland), available);
    }

    // Qt's own warnings reach standard error as the program's lines, one by one; its
    // remark on a missing XDG_RUNTIME_DIR, which it works around itself, does not.
    void qtMessagesCarryTheProgramsName_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two lines") << "QIODevice::read (QSerialPort): device not open\nQSocketNotifier: Invalid socket"
                                   << "kvp-reader: QIODevice::read (QSerialPort): device not open\n"
                                      "kvp-reader: QSocketNotifier: Invalid socket\n";
        QTest::newRow("no XDG_RUNTIME_DIR")
            << "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'" << "";
    }

    void qtMessagesCarryTheProgramsName()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QTemporaryFile capture;
        QVERIFY(capture.open());
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(capture.handle(), STDERR_FILENO);
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        routeQtMessages();
        qWarning("%s", qPrintable(message));
        qInstallMessageHandler(previous);
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        capture.seek(0);
        QCOMPARE(QString::fromUtf8(capture.readAll()), shown);
    }
};

QTEST_GUILESS_MAIN(tst_conditions)
#include "tst_conditions.moc"
