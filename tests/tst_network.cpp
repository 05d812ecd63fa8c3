// Modules behind a serial server: the Telnet layer byte by byte, the addresses
// --port takes, and kvp-reader against real servers (socat for raw TCP, ser2net for
// the COM port option) in front of the simulated module's pseudo-terminal.
#include "app/ReadSession.h"
#include "app/ScanSession.h"
#include "network/NetworkAddress.h"
#include "network/TelnetCodec.h"
#include "sim/SimulatedModule.h"
#include "app/WindowText.h"
#include "ui/PortPicker.h"
#include "ui/frmMain.h"

#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QListWidget>
#include <QSignalSpy>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kvp;

namespace {

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240, CP = 44;

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out.append(static_cast<char>(b));
    return out;
}

QByteArray qbytes(const std::vector<std::uint8_t> &v)
{
    return {reinterpret_cast<const char *>(v.data()), static_cast<qsizetype>(v.size())};
}

std::span<const std::uint8_t> span(const QByteArray &b)
{
    return {reinterpret_cast<const std::uint8_t *>(b.constData()), static_cast<size_t>(b.size())};
}

const QByteArray kLine = bytes({IAC, SB, CP, 1, 0, 0, 0x4B, 0, IAC, SE, IAC, SB, CP, 2, 8, IAC, SE, IAC, SB, CP, 3, 3,
                                IAC, SE, IAC, SB, CP, 4, 1, IAC, SE, IAC, SB, CP, 12, 3, IAC, SE});
const QByteArray kAcks = bytes({IAC, SB, CP, 101, 0, 0, 0x4B, 0, IAC, SE, IAC, SB, CP, 102, 8, IAC, SE, IAC, SB, CP,
                                103, 3, IAC, SE, IAC, SB, CP, 104, 1, IAC, SE});

QString tool(const char *name)
{
    const QString found = QStandardPaths::findExecutable(QLatin1String(name));
    return found.isEmpty() ? QStandardPaths::findExecutable(QLatin1String(name), {"/usr/sbin", "/sbin"}) : found;
}

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// Whether a socket at 127.0.0.1:port, or (remote) one connected to it, is in `state`
// (/proc/net/tcp: 0A listening, 01 connected, 02 connecting); without connecting.
bool socketAt(quint16 port, const char *state, bool remote = false)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : tcp.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[remote ? 2 : 1] == local && fields[3] == state)
            return true;
    }
    return false;
}

bool listening(quint16 port) { return socketAt(port, "0A"); } // socat serves one connection

// A program in the background, ended when the test is.
struct Background {
    QProcess process;
    Background(const QString &program, const QStringList &arguments)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
    }
    ~Background()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
};

// The simulated module; its first line is its pseudo-terminal.
struct Module : Background {
    QString device;
    explicit Module(const QStringList &arguments) : Background(QStringLiteral(KVP_SIM), arguments)
    {
        if (process.waitForReadyRead(5000))
            device = QString::fromUtf8(process.readLine()).trimmed();
    }
};

// A serial server for the module's pseudo-terminal on a free port: socat for raw
// TCP, ser2net with the COM port option (its line starts at 9600 bit/s).
std::unique_ptr<Background> serve(bool comPort, const QString &device, quint16 port, const QTemporaryDir &dir)
{
    if (!comPort) {
        return std::make_unique<Background>(
            tool("socat"), QStringList{QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                                       QStringLiteral("FILE:%1,raw,echo=0").arg(device)});
    }
    QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly))
        return nullptr;
    config.write(QStringLiteral("connection: &kvp\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                "    connector: serialdev,%2,9600n81,local\n").arg(port).arg(device).toUtf8());
    config.close();
    return std::make_unique<Background>(tool("ser2net"), QStringList{"-n", "-u", "-c", config.fileName()});
}

QString speedOf(const QString &device)
{
    QProcess stty;
    stty.start(QStringLiteral("stty"), {"-F", device});
    stty.waitForFinished(5000);
    return QString::fromUtf8(stty.readAllStandardOutput()).section(QLatin1Char(';'), 0, 0);
}

} // namespace

class tst_network : public QObject
{
    Q_OBJECT

private:
    // A reader reading the module through a server; its output gathered as it comes.
    struct Reading {
        QProcess reader;
        QByteArray out, err;
        bool poll()
        {
            out += reader.readAllStandardOutput();
            err += reader.readAllStandardError();
            return true;
        }
        qsizetype values() { return poll(), out.count('\n'); }
        bool says(const char *text) { return poll(), err.contains(text); }
    };

    static void needTools(bool comPort)
    {
        if (tool("socat").isEmpty() || (comPort && tool("ser2net").isEmpty()))
            QSKIP("socat or ser2net is not installed (scripts/install-deps.sh installs them)");
    }

private slots:
    // Bytes from the server, after our opening: the line's data and our answers, the
    // same whether they come whole, a byte at a time or cut anywhere.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("refusal");
        using S = TelnetCodec::Stage;
        const int offered = int(S::offered), setting = int(S::setting), ready = int(S::ready);
        QTest::newRow("plain data") << QByteArray("S0;MSV?;") << QByteArray("S0;MSV?;") << QByteArray() << offered
                                    << "";
        QTest::newRow("doubled 0xFF is one data byte") << bytes({1, IAC, IAC, 2}) << bytes({1, 255, 2}) << QByteArray()
                                                       << offered << "";
        QTest::newRow("0xFF 0xFF twice") << bytes({IAC, IAC, IAC, IAC}) << bytes({255, 255}) << QByteArray()
                                         << offered << "";
        QTest::newRow("NOP and GA carry nothing") << bytes({IAC, 241, 'x', IAC, 249}) << QByteArray("x")
                                                  << QByteArray() << offered << "";
        QTest::newRow("option taken: the line settings and a purge go out")
            << bytes({IAC, DO, CP}) << QByteArray() << kLine << setting << "";
        QTest::newRow("option taken twice: settings once")
            << bytes({IAC, DO, CP, IAC, DO, CP}) << QByteArray() << kLine << setting << "";
        QTest::newRow("option declined") << bytes({IAC, DONT, CP}) << QByteArray() << QByteArray() << int(S::refused)
                                         << "";
        QTest::newRow("answers to our own offers need no answer")
            << bytes({IAC, WONT, 0, IAC, DO, 0, IAC, WILL, 3}) << QByteArray() << QByteArray() << offered << "";
        QTest::newRow("other options declined") << bytes({IAC, WILL, 1, IAC, DO, 24}) << QByteArray()
                                                << bytes({IAC, DONT, 1, IAC, WONT, 24}) << offered << "";
        QTest::newRow("every setting confirmed") << bytes({IAC, DO, CP}) + kAcks << QByteArray() << kLine << ready
                                                 << "";
        QTest::newRow("another speed set") << bytes({IAC, DO, CP, IAC, SB, CP, 101, 0, 0, 0x25, 0x80, IAC, SE})
                                           << QByteArray() << kLine << int(S::lineRefused) << "9600 bit/s";
        QTest::newRow("another parity set") << bytes({IAC, DO, CP, IAC, SB, CP, 103, 1, IAC, SE}) << QByteArray()
                                            << kLine << int(S::lineRefused) << "no parity";
        QTest::newRow("0xFF doubled inside a subnegotiation")
            << bytes({IAC, DO, CP, IAC, SB, CP, 101, 0, 0, IAC, IAC, 0, IAC, SE}) << QByteArray() << kLine
            << int(S::lineRefused) << "65280 bit/s";
        QTest::newRow("a modem state note between data")
            << bytes({'a', IAC, SB, CP, 107, 0x30, IAC, SE, 'b'}) << QByteArray("ab") << QByteArray() << offered << "";
        QByteArray flood = bytes({IAC, SB, CP, 101});
        flood += QByteArray(100, 'z') + bytes({IAC, SE, 'q'});
        QTest::newRow("an overlong subnegotiation is skipped") << flood << QByteArray("q") << QByteArray() << offered
                                                               << "";
        QTest::newRow("a subnegotiation broken off by a command")
            << bytes({IAC, SB, CP, 101, IAC, DO, CP, 'c'}) << QByteArray("c") << kLine << setting << "";
    }

    void decode()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, reply);
        QFETCH(int, stage);
        QFETCH(QString, refusal);
        // Cut at every position, and (last) one byte at a time.
        for (qsizetype cut = 0; cut <= input.size() + 1; ++cut) {
            TelnetCodec codec;
            codec.start();
            QByteArray gotData, gotReply;
            for (qsizetype at = 0; at < input.size();) {
                const qsizetype n = cut > input.size() ? 1 : (at == 0 && cut > 0 ? cut : input.size() - at);
                const TelnetCodec::Output out = codec.decode(span(input.mid(at, n)));
                gotData += qbytes(out.data);
                gotReply += qbytes(out.reply);
                at += n;
            }
            QCOMPARE(gotData.toHex(' '), data.toHex(' '));
            QCOMPARE(gotReply.toHex(' '), reply.toHex(' '));
            QCOMPARE(int(codec.stage()), stage);
            QCOMPARE(QString::fromStdString(codec.refusal()), refusal);
        }
    }

    void encode_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("a command") << QByteArray("S5;MSV?;") << QByteArray("S5;MSV?;");
        QTest::newRow("0xFF doubled") << bytes({0x53, 255, 0x3B, 255}) << bytes({0x53, 255, 255, 0x3B, 255, 255});
    }

    void encode()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, sent);
        QCOMPARE(qbytes(TelnetCodec::encode(span(data))).toHex(' '), sent.toHex(' '));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused, `why` names the fault
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("why");
        QTest::newRow("raw") << "tcp://plc-gw.local:4001" << "plc-gw.local" << 4001 << "";
        QTest::newRow("com port control, IPv6") << "rfc2217://[fe80::1]:2217" << "fe80::1" << 2217 << "";
        QTest::newRow("no port") << "tcp://gw" << "" << 0 << "no port number";
        QTest::newRow("empty port") << "tcp://gw:" << "" << 0 << "no port number";
        QTest::newRow("port 0") << "tcp://gw:0" << "" << 0 << "out of range";
        QTest::newRow("port 65536") << "rfc2217://gw:65536" << "" << 0 << "out of range";
        QTest::newRow("unknown scheme") << "telnet://gw:23" << "" << 0 << "'telnet://' is not known";
        QTest::newRow("a path after the port") << "tcp://gw:23/x" << "" << 0 << "not HOST:PORT";
        QTest::newRow("no host") << "tcp://:23" << "" << 0 << "not HOST:PORT";
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, why);
        QString reason;
        const auto address = NetworkAddress::parse(text, &reason);
        QCOMPARE(address.has_value(), !host.isEmpty());
        if (address) {
            QCOMPARE(address->host, host);
            QCOMPARE(int(address->port), port);
        } else {
            QVERIFY2(reason.contains(why), qPrintable(reason));
        }
        // The command line says the same, as a usage error.
        if (!address) {
            QProcess reader;
            reader.start(QStringLiteral(KVP_READER), {"--console", "--port", text});
            QVERIFY(reader.waitForFinished(10000));
            QCOMPARE(reader.exitCode(), 2);
            QVERIFY(reader.readAllStandardError().contains(why.toUtf8()));
        }
    }

    // The values the module sent, through each kind of server; its replies hold
    // 0xFF bytes (small values below zero), and ser2net's line is set to 19200.
    void valuesThroughServer_data()
    {
        QTest::addColumn<bool>("comPort");
        QTest::newRow("raw TCP, socat") << false;
        QTest::newRow("COM port control, ser2net") << true;
    }

    void valuesThroughServer()
    {
        QFETCH(bool, comPort);
        needTools(comPort);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sent.txt"));
        Module module({"--amplitude", "3000", "--seed", "5", "--log", log});
        QVERIFY(!module.device.isEmpty());
        const quint16 port = freePort();
        const auto server = serve(comPort, module.device, port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        Reading r;
        r.reader.start(QStringLiteral(KVP_READER),
                       {"--console", "--port", QStringLiteral("%1://127.0.0.1:%2").arg(comPort ? "rfc2217" : "tcp").arg(port)});
        QTRY_VERIFY_WITH_TIMEOUT(r.values() >= 40, 15000);
        if (comPort)
            QCOMPARE(speedOf(module.device), QStringLiteral("speed 19200 baud"));
        r.reader.terminate();
        QVERIFY(r.reader.waitForFinished(5000));
        r.poll();
        QCOMPARE(r.reader.exitCode(), 0);
        module.process.terminate();
        module.process.waitForFinished(3000);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> sent = file.readAll().split('\n');
        const QList<QByteArray> read = r.out.split('\n');
        QVERIFY(read.size() >= 40 && sent.size() >= read.size() - 1);
        QCOMPARE(read.mid(0, read.size() - 1), sent.mid(0, read.size() - 1));
        QVERIFY2(r.err.contains(", 0 bad check bytes,"), r.err.constData());
    }

    // Two modules behind a raw server (socat, Nagle's algorithm on), a fifth of the
    // replies split: socat holds a reply's tail back until its head is acknowledged,
    // and a tail that came after the next query was taken for the other module's
    // answer. Every value is one the module at its address sent.
    void busThroughRawServerKeepsAddresses_data()
    {
        QTest::addColumn<int>("seed");
        for (const int seed : {1, 3, 7, 8})
            QTest::addRow("seed %d", seed) << seed;
    }

    void busThroughRawServerKeepsAddresses()
    {
        QFETCH(int, seed);
        needTools(false);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("sent.txt"));
        Module module({"--address", "3,7", "--split", "0.2", "--seed", QString::number(seed), "--log", log});
        QVERIFY(!module.device.isEmpty());
        const quint16 port = freePort();
        const auto server = serve(false, module.device, port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", QStringLiteral("tcp://127.0.0.1:%1").arg(port),
                                                  "--address", "3,7", "--count", "200"});
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.exitCode(), 0);
        module.process.terminate();
        module.process.waitForFinished(3000);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QSet<QByteArray> sent(lines.begin(), lines.end());
        const QList<QByteArray> read = reader.readAllStandardOutput().split('\n');
        QCOMPARE(read.size(), 201);
        QStringList misplaced;
        for (const QByteArray &line : read.mid(0, 200))
            if (!sent.contains(line))
                misplaced << QString::fromLatin1(line);
        QVERIFY2(misplaced.isEmpty(), qPrintable(misplaced.join(QStringLiteral("; "))));
    }

    // socat killed mid-run: the loss is said once, reading goes on when it is back;
    // with --give-up and no server, the reader ends.
    void serverRestarts_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("restarted: reconnects") << true;
        QTest::newRow("gone: --give-up ends the run") << false;
    }

    void serverRestarts()
    {
        QFETCH(bool, restart);
        needTools(false);
        QTemporaryDir dir;
        Module module({});
        const quint16 port = freePort();
        auto server = serve(false, module.device, port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        Reading r;
        r.reader.start(QStringLiteral(KVP_READER),
                       {"--console", "--give-up", "2", "--port", QStringLiteral("tcp://127.0.0.1:%1").arg(port)});
        QTRY_VERIFY_WITH_TIMEOUT(r.values() >= 5, 15000);
        server.reset();
        QTRY_VERIFY_WITH_TIMEOUT(r.says("was lost. Reconnecting"), 10000);
        if (!restart) {
            QVERIFY(r.reader.waitForFinished(10000));
            QCOMPARE(r.reader.exitCode(), 1);
            QVERIFY2(r.says("was not back within 2 s (--give-up)"), r.err.constData());
            return;
        }
        server = serve(false, module.device, port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(r.says("is back; reading again"), 10000);
        const qsizetype before = r.values();
        QTRY_VERIFY_WITH_TIMEOUT(r.values() >= before + 5, 10000);
        QCOMPARE(r.err.count("was lost"), 1);
        r.reader.terminate();
        QVERIFY(r.reader.waitForFinished(5000));
    }

    // A server that takes every connection and closes it at once (its device is
    // missing, or taken): each failed connection waits longer before the next, so that
    // the reader does not knock on it twice a second for ever; the line is never
    // said to be back, and --give-up gives up.
    void serverThatDropsEveryConnection()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QElapsedTimer clock;
        QList<qint64> at;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket *c = server.nextPendingConnection()) {
                at << clock.elapsed();
                c->abort();
                c->deleteLater();
            }
        });
        clock.start();
        Reading r;
        r.reader.start(QStringLiteral(KVP_READER),
                       {"--console", "--give-up", "6", "--port",
                        QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort())});
        // Waits of 0.5, 1 and 2 s: the fourth connection 3.5 s after the first.
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 4, 15000);
        QStringList times;
        for (const qint64 t : at)
            times << QString::number(t);
        QVERIFY2(at[3] - at[0] >= 3000, qPrintable(QStringLiteral("connections at %1 ms").arg(times.join(u' '))));
        QVERIFY(r.reader.waitForFinished(15000));
        r.poll();
        QCOMPARE(r.reader.exitCode(), 1);
        QVERIFY2(r.err.count("was lost") == 1 && !r.says("is back") && r.says("was not back within 6 s"),
                 r.err.constData());
    }

    // The window's session through a server: values, the search for modules on the
    // lent link, and switching from a server to a device path and back.
    void sessionThroughServer()
    {
        needTools(false);
        QTemporaryDir dir;
        SimulatedModule module{SimulatorSettings{}};
        const quint16 port = freePort();
        auto server = serve(false, module.devicePath(), port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
        PortSettings settings;
        settings.portName = url;
        ReadSession session(settings);
        QSignalSpy values(&session, &ReadSession::valueShown);
        QCOMPARE(session.open(), Condition::connecting);
        QCOMPARE(session.read(), Condition::connecting); // reads once connected
        QTRY_VERIFY_WITH_TIMEOUT(values.size() >= 3, 5000);

        Link *link = session.lendPort();
        QVERIFY(link);
        ScanSession scan(*link);
        QSignalSpy found(&scan, &ScanSession::found);
        QSignalSpy over(&scan, &ScanSession::finished);
        scan.start();
        QTRY_VERIFY_WITH_TIMEOUT(over.size() == 1, 20000);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().first().toInt(), 0);
        session.takePortBack();

        QCOMPARE(session.switchPort(module.devicePath()), Condition::none); // socat lets the line go
        values.clear();
        QTRY_VERIFY_WITH_TIMEOUT(values.size() >= 3, 5000);
        server = serve(false, module.devicePath(), port, dir);
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 10000);
        QCOMPARE(session.switchPort(url), Condition::connecting);
        values.clear();
        QTRY_VERIFY_WITH_TIMEOUT(values.size() >= 3, 5000);
    }

    // A server typed into the window's port list stays in it, after a device was chosen.
    void portListKeepsServers()
    {
        PortPicker picker([] { return QList<SerialPortEntry>{}; });
        const QString url = QStringLiteral("rfc2217://gw:4001");
        picker.popUp(QStringLiteral("/dev/ttyUSB0"), {});
        QSignalSpy chosen(&picker, &PortPicker::chosen);
        auto *path = picker.findChild<QLineEdit *>(QStringLiteral("PortPath"));
        path->setText(url);
        QTest::keyClick(path, Qt::Key_Return);
        QCOMPARE(chosen.size(), 1);
        picker.popUp(QStringLiteral("/dev/ttyUSB0"), {});
        auto *list = picker.findChild<QListWidget *>(QStringLiteral("PortList"));
        QVERIFY(!list->findItems(url, Qt::MatchExactly).isEmpty());
    }

    // Each way connecting can fail has its own words; the run ends with exit 1.
    void openFailures_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("server"); // 0 none, 1 a plain TCP server, 2 one whose queue is full
        QTest::addColumn<QString>("said");
        QTest::newRow("refused") << "tcp" << "127.0.0.1" << 0 << "refused the connection: nothing listens";
        QTest::newRow("unknown host") << "rfc2217" << "nonexistent.invalid" << 0 << "is not known";
        QTest::newRow("plain TCP server for rfc2217://") << "rfc2217" << "127.0.0.1" << 1
                                                         << "does not let the reader set its serial line";
        QTest::newRow("no answer to connecting") << "tcp" << "127.0.0.1" << 2 << "No answer from the serial server";
    }

    void openFailures()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, host);
        QFETCH(int, server);
        QFETCH(QString, said);
        QTcpServer plain;
        QTcpSocket filler;
        quint16 port = freePort();
        if (server > 0) {
            // Never accepted while the reader runs: the kernel takes the connection,
            // or, once its queue of one is full, lets the next one wait.
            plain.setListenBacklogSize(0);
            QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
            port = plain.serverPort();
            if (server == 2) {
                filler.connectToHost(QHostAddress::LocalHost, port);
                QVERIFY(filler.waitForConnected(3000));
            }
        }
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), {"--console", "--port", QStringLiteral("%1://%2:%3").arg(scheme, host).arg(port)});
        QVERIFY(reader.waitForFinished(15000));
        const QByteArray err = reader.readAllStandardError();
        QCOMPARE(reader.exitCode(), 1);
        QVERIFY2(err.contains(said.toUtf8()), err.constData());
    }

    // A server that keeps the window waiting does not hold it up: the loop turns while
    // the connection is made (or the COM port option awaits its answer), and Stop,
    // another port or closing the window gives the connection up at once.
    void windowTurnsWhileConnecting_data()
    {
        QTest::addColumn<QString>("scheme"); // tcp: connecting to a full queue; rfc2217: connected, never answered
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("status");
        QTest::newRow("connecting, Stop") << "tcp" << "Stop" << "就绪";
        QTest::newRow("COM port option unanswered, Stop") << "rfc2217" << "Stop" << "就绪";
        QTest::newRow("COM port option unanswered, another port") << "rfc2217" << "/dev/kvp-no-such-port"
                                                                  << "串口不存在: 点击右侧串口名选择";
        QTest::newRow("connecting, window closed") << "tcp" << "" << "";
        QTest::newRow("COM port option unanswered, Read: the time-out is said") << "rfc2217" << "Read"
                                                                               << "无法连接串口服务器: 见提示";
    }

    void windowTurnsWhileConnecting()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, then);
        QFETCH(QString, status);
        QTcpServer server;
        QTcpSocket filler;
        server.setListenBacklogSize(0);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        server.pauseAccepting(); // the kernel's queue of one is ours to fill, or not
        const char *state = scheme == "tcp" ? "02" : "01";
        if (scheme == "tcp") {
            filler.connectToHost(QHostAddress::LocalHost, server.serverPort());
            QVERIFY(filler.waitForConnected(3000));
        }
        PortSettings port;
        port.portName = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.serverPort());
        auto window = std::make_unique<frmMain>(port, CycleSettings{});
        auto *line = window->findChild<QLabel *>(QStringLiteral("StatusText"));
        QVERIFY(window->Form_Load(frmMain::OnPortFailure::carryOn));
        window->show();
        bool ticked = false;
        QTimer::singleShot(0, [&] { ticked = true; });
        QTRY_VERIFY(ticked && socketAt(server.serverPort(), state, true));
        QCOMPARE(line->text(), windowText(Condition::connecting, {}).status);
        if (then == "Stop" || then == "Read")
            QTest::mouseClick(window->findChild<QPushButton *>(then), Qt::LeftButton);
        else if (!then.isEmpty())
            emit window->findChild<PortPicker *>()->chosen(then);
        else
            window.reset();
        // Stop and another port end it at once: its time-out would show on the status line.
        QTRY_VERIFY(!socketAt(server.serverPort(), state, true));
        if (window)
            QCOMPARE(line->text(), status);
        if (then == "Read") { // and told, as Read's failures are
            auto *notice = window->findChild<QMessageBox *>();
            QVERIFY(notice && notice->text().contains(port.portName));
        }
    }
};

QTEST_MAIN(tst_network)
#include "tst_network.moc"
