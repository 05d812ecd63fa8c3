// Publishing to an MQTT broker: the URL, the queue and the payloads as tables; then
// kvp-reader against a real mosquitto of the test's own, read with mosquitto_sub.
#include "app/MqttFeed.h"
#include "app/ReadSession.h"
#include "mqtt/BrokerUrl.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MessageQueue.h"
#include "mqtt/PublicationInbox.h"
#include "mqtt/ValueMessages.h"

#include "MqttBroker.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kvp;

namespace {

const QString kSecret = QStringLiteral("s3cr3t-pw");

// kvp-reader on a kvp-sim of its own.
struct ReaderRun {
    QProcess sim;
    QProcess reader;
    QByteArray out, err;

    bool start(const QStringList &arguments, const QStringList &simArguments = {})
    {
        sim.start(QStringLiteral(KVP_SIM), simArguments);
        if (!sim.waitForReadyRead(5000))
            return false;
        const QString device = QString::fromUtf8(sim.readLine()).trimmed();
        reader.start(QStringLiteral(KVP_READER), QStringList{QStringLiteral("--console"), QStringLiteral("--port"), device}
                                                     + arguments);
        return reader.waitForStarted(5000);
    }
    QStringList values()
    {
        out += reader.readAllStandardOutput();
        return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString errors()
    {
        err += reader.readAllStandardError();
        return QString::fromUtf8(err);
    }
    // Ends the run with SIGTERM, or waits for --count to end it.
    bool finish(bool terminate = false)
    {
        if (terminate)
            reader.terminate();
        const bool ended = reader.waitForFinished(15000);
        values();
        errors();
        return ended && reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0;
    }
    ~ReaderRun()
    {
        reader.kill();
        reader.waitForFinished(3000);
        sim.terminate();
        sim.waitForFinished(3000);
    }
};

} // namespace

class tst_mqtt : public QObject
{
    Q_OBJECT

private slots:
    void brokerUrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // tls user hasPassword:password host port prefix, or the error
        QTest::newRow("plain") << "mqtt://broker/plant" << "0  0: broker 1883 plant";
        QTest::newRow("tls default port") << "MQTTS://broker/a/b" << "1  0: broker 8883 a/b";
        QTest::newRow("user, password, port") << "mqtt://op:pw@10.0.0.2:1999/p" << "0 op 1:pw 10.0.0.2 1999 p";
        QTest::newRow("encoded password") << "mqtt://op:a%2Fb%40c@h/p" << "0 op 1:a/b@c h 1883 p";
        QTest::newRow("'@' in the password") << "mqtt://op:a@b@h/p" << "0 op 1:a@b h 1883 p";
        QTest::newRow("empty password") << "mqtt://op:@h/p" << "0 op 1: h 1883 p";
        QTest::newRow("IPv6") << "mqtt://[::1]:1884/p" << "0  0: ::1 1884 p";
        QTest::newRow("other scheme") << "http://h/p" << "must begin with mqtt://";
        QTest::newRow("no prefix") << "mqtt://h" << "needs a topic prefix";
        QTest::newRow("empty prefix") << "mqtt://h/" << "needs a topic prefix";
        QTest::newRow("wildcard prefix") << "mqtt://h/a/#" << "without '+', '#'";
        QTest::newRow("empty level") << "mqtt://h/a//b" << "levels separated by single '/'";
        QTest::newRow("port 0") << "mqtt://h:0/p" << "from 1 to 65535, not '0'";
        QTest::newRow("port too big, password hidden") << "mqtt://u:s3cr3t-pw@h:70000/p" << "not what is given";
        QTest::newRow("unencoded '/' in the password") << "mqtt://u:s3cr3t/-pw@h/p"
                                                       << "not what is given (a '/' in a password is written %2F)";
        QTest::newRow("unencoded '/' in the password, nothing before it")
            << "mqtt://u:/s3cr3t@h/p" << "no port after it (a '/' in a password is written %2F)";
        QTest::newRow("nothing but the scheme") << "mqtt://" << "needs a host";
        QTest::newRow("no host before the prefix") << "mqtts:///plant" << "needs a host";
        QTest::newRow("no host") << "mqtt://u@:1883/p" << "needs a host";
        QTest::newRow("no user") << "mqtt://:s3cr3t-pw@h/p" << "no user name";
        QTest::newRow("open bracket") << "mqtt://[::1/p" << "closing ']'";
    }
    void brokerUrl()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QString error;
        const auto url = BrokerUrl::parse(text, &error);
        if (url) {
            QCOMPARE(QStringLiteral("%1 %2 %3:%4 %5 %6 %7")
                         .arg(url->tls)
                         .arg(url->user)
                         .arg(url->hasPassword)
                         .arg(url->password, url->host)
                         .arg(url->port)
                         .arg(url->prefix),
                     parsed);
            QVERIFY(!url->hasPassword || !url->masked().contains(url->password) || url->password.isEmpty());
        } else {
            QVERIFY2(error.contains(parsed), qPrintable(error));
            QVERIFY(!error.contains(QStringLiteral("s3cr3t")));
        }
    }

    // A script of queue operations: a letter is pushed (a capital on a retained topic of
    // its own), 's' sends the next under the next id (1, 2, ...), a digit acknowledges
    // that id, 'l' loses the connection.
    void queue_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("left"); // what waits, oldest first
        QTest::addColumn<int>("inFlight");
        QTest::addColumn<int>("dropped");
        QTest::newRow("acknowledged go") << 10 << "abcsss12" << "c" << 1 << 0;
        QTest::newRow("out of order") << 10 << "abcsss2" << "ac" << 2 << 0;
        QTest::newRow("full: the oldest goes") << 3 << "abcde" << "cde" << 0 << 2;
        QTest::newRow("ack of a dropped one") << 2 << "abssc1" << "bc" << 1 << 1;
        QTest::newRow("lost: sent again, in order") << 10 << "abcssl" << "abc" << 0 << 0;
        QTest::newRow("lost, then resent and acked") << 10 << "abcsslsss45" << "a" << 1 << 0;
        QTest::newRow("nothing to send") << 10 << "ss" << "" << 0 << 0;
        QTest::newRow("full: the latest retained stays") << 3 << "Asbcd" << "Acd" << 1 << 1;
        QTest::newRow("full: a retained one superseded goes") << 3 << "AbcA" << "bcA" << 0 << 1;
    }
    void queue()
    {
        QFETCH(int, capacity);
        QFETCH(QString, script);
        MessageQueue q(static_cast<std::size_t>(capacity));
        int id = 0;
        for (const QChar c : script) {
            if (c == QLatin1Char('s') && q.hasUnsent())
                q.markSent(++id);
            else if (c == QLatin1Char('l'))
                q.connectionLost();
            else if (c.isDigit())
                q.acknowledge(c.digitValue());
            else if (c != QLatin1Char('s'))
                q.push({c.isUpper() ? QByteArray(1, c.toLatin1()) : "t", QByteArray(1, c.toLatin1()), c.isUpper()});
        }
        QString left;
        MessageQueue copy = q;
        copy.connectionLost();
        while (copy.hasUnsent()) {
            left += QString::fromLatin1(copy.nextUnsent().payload);
            copy.markSent(0);
            copy.acknowledge(0);
        }
        QTEST(left, "left");
        QTEST(static_cast<int>(q.inFlight()), "inFlight");
        QTEST(static_cast<int>(q.dropped()), "dropped");
    }

    // The hand-over to the publishing thread, full: a capital is a module's state, a
    // small letter a value of the module of that letter.
    void inbox_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("left");
        QTest::newRow("the oldest goes") << "abc" << "bc";
        QTest::newRow("a module's latest state stays") << "Abb" << "Ab";
        QTest::newRow("a module's latest value stays") << "aBB" << "aB";
    }
    void inbox()
    {
        QFETCH(QString, script);
        PublicationInbox inbox(2);
        for (const QChar c : script)
            inbox.push({{c.toLower().unicode(), {}, {}, {}, QString(c), {}}, c.isUpper()});
        QString left;
        for (const Publication &p : inbox.takeAll())
            left += p.value.state;
        QTEST(left, "left");
    }

    // A module no longer read (another address typed, or taken off the bus) is not
    // left "live" on the broker.
    void moduleNoLongerReadIsNotLive()
    {
        PortSettings port;
        port.portName = QStringLiteral("/dev/kvp-none");
        ReadSession session(port);
        MqttPublisher publisher(*BrokerUrl::parse(QStringLiteral("mqtt://127.0.0.1:1/p"), nullptr), {});
        MqttFeed feed(session, publisher);
        feed.publishValue(QStringLiteral("12"), 3);
        emit session.conditionChanged(Condition::reading); // the session reads address 0 now
        QStringList states;
        for (const Publication &p : publisher.takeWaiting())
            if (p.stateOnly)
                states << QStringLiteral("p/%1/state %2").arg(p.value.address).arg(p.value.state);
        QCOMPARE(states, QStringList({QStringLiteral("p/3/state live"), QStringLiteral("p/0/state live"),
                                      QStringLiteral("p/3/state stale")}));
    }

    void jsonPayload_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QByteArray>("json");
        const QByteArray time = "{\"time\":\"2026-01-02T03:04:05.006Z\",";
        QTest::newRow("raw value") << "-53054" << "-53054" << "" << "live"
                                   << time + "\"raw\":-53054,\"value\":-53054,\"unit\":\"\",\"state\":\"live\"}";
        QTest::newRow("scaled keeps its decimals") << "1250" << "12.50" << "°C" << "stale"
                                                   << time + "\"raw\":1250,\"value\":12.50,\"unit\":\"°C\",\"state\":\"stale\"}";
        QTest::newRow("text that is no number") << "7" << "1e" << "a\"b\\" << "no answer"
                                                << time + "\"raw\":7,\"value\":\"1e\",\"unit\":\"a\\\"b\\\\\",\"state\":\"no answer\"}";
        QTest::newRow("exponent, and a bare minus") << "-" << "-1.5e+3" << "" << "live"
                                                    << time + "\"raw\":\"-\",\"value\":-1.5e+3,\"unit\":\"\",\"state\":\"live\"}";
        QTest::newRow("leading zero is no JSON number") << "07" << "-.5" << "\t" << "live"
                                                        << time + "\"raw\":\"07\",\"value\":\"-.5\",\"unit\":\"\\t\",\"state\":\"live\"}";
        QTest::newRow("control character beside UTF-8") << "1" << "1" << "m\x1f³" << "live"
                                                        << time + "\"raw\":1,\"value\":1,\"unit\":\"m\\u001f³\",\"state\":\"live\"}";
    }
    void jsonPayload()
    {
        QFETCH(QString, raw);
        QFETCH(QString, value);
        QFETCH(QString, unit);
        QFETCH(QString, state);
        const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC);
        QTEST(kvp::jsonPayload({3, raw, value, unit, state, time.toLocalTime()}), "json");
    }

    void publishes_data()
    {
        QTest::addColumn<QString>("login"); // what goes before the host in the URL
        QTest::addColumn<QString>("password"); // "file", "env", nothing, or "tls" (none)
        QTest::newRow("anonymous") << "" << "";
        QTest::newRow("password in the URL") << "op:" + kSecret + "@" << "";
        QTest::newRow("password file") << "op@" << "file";
        QTest::newRow("password in the environment") << "op@" << "env";
        QTest::newRow("TLS, the broker's CA given") << "op@" << "tls";
        QTest::newRow("in engineering units") << "" << "units";
    }
    void publishes()
    {
        REQUIRE_MOSQUITTO();
        QFETCH(QString, login);
        QFETCH(QString, password);
        Broker broker;
        const bool tls = password == QLatin1String("tls");
        if (tls && program(QStringLiteral("openssl")).isEmpty())
            QSKIP("openssl makes the broker's certificate; it is not installed");
        QVERIFY(tls ? broker.startTls() : broker.start());
        Subscriber sub;
        QVERIFY(sub.start(broker));
        ReaderRun run;
        QStringList arguments{QStringLiteral("--count"), QStringLiteral("5"), QStringLiteral("--mqtt"),
                              (tls ? "mqtts://" : "mqtt://") + login + QStringLiteral("127.0.0.1:%1/plant").arg(broker.port)};
        if (tls)
            arguments << QStringLiteral("--mqtt-ca") << broker.caFile();
        const bool units = password == QLatin1String("units");
        if (units)
            arguments << QStringLiteral("--scale") << QStringLiteral("0.001") << QStringLiteral("--decimals")
                      << QStringLiteral("3") << QStringLiteral("--unit") << QStringLiteral("kg");
        if (password == QLatin1String("file")) {
            QFile file(broker.dir.filePath(QStringLiteral("pw")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write((kSecret + QLatin1Char('\n')).toUtf8());
            arguments << QStringLiteral("--mqtt-password-file") << file.fileName();
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (password == QLatin1String("env"))
            env.insert(QStringLiteral("KVP_MQTT_PASSWORD"), kSecret);
        run.reader.setProcessEnvironment(env);
        QVERIFY(run.start(arguments));
        QVERIFY2(run.finish(), run.err.constData());
        const QStringList values = run.values();
        QCOMPARE(values.size(), 5);
        QTRY_VERIFY2(sub.payloads(QStringLiteral("/status")).contains(QStringLiteral("offline")), run.err.constData());
        QCOMPARE(sub.payloads(QStringLiteral("/0/value")), values);
        QStringList jsonValues;
        for (const Message &m : sub.messages(QStringLiteral("/0/json"))) {
            QVERIFY(!m.retained);
            const QRegularExpressionMatch json = QRegularExpression(
                QStringLiteral(R"(^\{"time":"\d{4}-\d\d-\d\dT[0-9:.]+Z","raw":(-?\d+),"value":(-?\d+(\.\d{3})?),"unit":"(kg)?","state":"live"\}$)"))
                .match(m.payload);
            QVERIFY2(json.hasMatch() && json.hasCaptured(3) == units && json.hasCaptured(4) == units, qPrintable(m.payload));
            // The count the module sent beside the value as printed.
            const QString scaled = units ? QString::number(json.captured(1).toDouble() / 1000, 'f', 3) : json.captured(1);
            QCOMPARE(json.captured(2), scaled == QLatin1String("-0.000") ? QStringLiteral("0.000") : scaled);
            jsonValues << json.captured(2);
        }
        QCOMPARE(jsonValues, values);
        QCOMPARE(sub.payloads(QStringLiteral("/status")), QStringList({QStringLiteral("online"), QStringLiteral("offline")}));
        QCOMPARE(sub.payloads(QStringLiteral("/0/state")), QStringList({QStringLiteral("live"), QStringLiteral("stale")}));
        QVERIFY2(run.errors().contains(QStringLiteral("MQTT 127.0.0.1:%1: 13 messages delivered\n").arg(broker.port)),
                 qPrintable(run.err));
        QVERIFY(!(run.out + run.err).contains(kSecret.toUtf8()));

        // What a dashboard that starts later sees: the retained messages.
        Subscriber late;
        QVERIFY(late.start(broker));
        QTRY_COMPARE(late.messages().size(), 3);
        QVERIFY(late.messages(QStringLiteral("/json")).isEmpty());
        for (const Message &m : late.messages())
            QVERIFY2(m.retained, qPrintable(m.topic));
        QCOMPARE(late.payloads(QStringLiteral("/0/value")), QStringList{values.last()});
        QCOMPARE(late.payloads(QStringLiteral("/0/state")), QStringList{QStringLiteral("stale")});
        QCOMPARE(late.payloads(QStringLiteral("/status")), QStringList{QStringLiteral("offline")});
    }

    void brokerAway_data()
    {
        QTest::addColumn<QString>("brokerConfig"); // "none": no broker at all
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("values");
        QTest::addColumn<QString>("summary");
        const QString kept = QStringLiteral(": 0 messages delivered, 42 not delivered (the broker was away at the end)");
        QTest::newRow("no broker") << "none" << "mqtt" << "unreachable (connection refused" << 20 << kept;
        QTest::newRow("bad password") << "allow_anonymous false\npassword_file " << "mqtt"
                                      << "refused the login (not authorised: check the user" << 20 << kept;
        QTest::newRow("TLS asked of a plain broker") << "" << "mqtts" << "unreachable (TLS failed" << 20 << kept;
        QTest::newRow("TLS to a closed port") << "none" << "mqtts" << "unreachable (connection refused" << 20 << kept;
        // Two states and two messages a value: 12002 for a queue of 10000.
        QTest::newRow("no broker, the queue overflows")
            << "none" << "mqtt" << "unreachable (connection refused" << 6000
            << ": 0 messages delivered, 2002 dropped (the oldest, when 10000 were waiting: the broker was away or did "
               "not keep up), 10000 not delivered (the broker was away at the end)";
    }
    void brokerAway()
    {
        REQUIRE_MOSQUITTO();
        QFETCH(QString, brokerConfig);
        QFETCH(QString, scheme);
        Broker broker;
        if (brokerConfig.contains(QLatin1String("password_file"))) {
            const QString passwords = broker.dir.filePath(QStringLiteral("passwords"));
            QVERIFY(QProcess::execute(program(QStringLiteral("mosquitto_passwd")),
                                      {QStringLiteral("-c"), QStringLiteral("-b"), passwords, QStringLiteral("op"),
                                       QStringLiteral("right")}) == 0);
            brokerConfig += passwords;
        }
        if (brokerConfig != QLatin1String("none"))
            QVERIFY(broker.start(brokerConfig));
        ReaderRun run;
        QFETCH(int, values);
        QVERIFY(run.start({QStringLiteral("--count"), QString::number(values), QStringLiteral("--mqtt"),
                           QStringLiteral("%1://op:%2@127.0.0.1:%3/plant").arg(scheme, kSecret).arg(broker.port)}));
        QVERIFY2(run.finish(), run.err.constData());
        QCOMPARE(run.values().size(), values);
        QFETCH(QString, said);
        QFETCH(QString, summary);
        QVERIFY2(run.errors().contains(QStringLiteral("MQTT 127.0.0.1:%1").arg(broker.port) + summary + '\n'),
                 qPrintable(run.err));
        QCOMPARE(run.err.count(QStringLiteral("MQTT broker 127.0.0.1:%1 ").arg(broker.port).toUtf8()), 1);
        QVERIFY2(run.err.contains(said.toUtf8()), qPrintable(run.err));
        QVERIFY(!(run.out + run.err).contains(kSecret.toUtf8()));
    }

    // The broker is killed mid-run and comes back: standard output loses nothing, and
    // the values read meanwhile reach the broker once it is back, in order.
    void brokerRestart()
    {
        REQUIRE_MOSQUITTO();
        Broker broker;
        QVERIFY(broker.start());
        ReaderRun run;
        // A module of 50 values a second: the values read while the broker is away fit the queue.
        QVERIFY(run.start({QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:%1/plant").arg(broker.port)},
                          {QStringLiteral("--turnaround"), QStringLiteral("20")}));
        QTRY_VERIFY(run.values().size() >= 5);
        broker.kill();
        QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains(QStringLiteral("unreachable")), 10000);
        const qsizetype whenAway = run.values().size();
        QTRY_VERIFY(run.values().size() >= whenAway + 3);
        const qsizetype beforeBack = run.values().size();
        QVERIFY(broker.start());
        // Subscribed before the reader's next attempt, a second after it lost the broker.
        Subscriber sub;
        QVERIFY(sub.start(broker));
        QTRY_VERIFY_WITH_TIMEOUT(run.errors().contains(QStringLiteral("is back")), 40000);
        // The broker forgot everything: a dashboard that comes now still gets the
        // module's state, which has not changed since, and the reader's status.
        Subscriber late;
        QVERIFY(late.start(broker));
        QTRY_COMPARE(late.payloads(QStringLiteral("/0/state")).value(0), QStringLiteral("live"));
        QCOMPARE(late.payloads(QStringLiteral("/status")).value(0), QStringLiteral("online"));
        QTRY_VERIFY(sub.messages(QStringLiteral("/json")).size() > beforeBack - whenAway + 5);
        QVERIFY2(run.finish(true), run.err.constData());
        const QStringList printed = run.values();
        const QRegularExpression summary(QStringLiteral("kvp-reader: (\\d+) values in"));
        QCOMPARE(summary.match(run.err).captured(1).toInt(), printed.size());
        QTRY_VERIFY2(sub.payloads(QStringLiteral("/status")).contains(QStringLiteral("offline")), run.err.constData() + sub.out);
        // What arrives after the restart is everything from some value on, in order, up to
        // the last one printed, and begins no later than the values read while away.
        QStringList arrived;
        for (const Message &m : sub.messages(QStringLiteral("/json")))
            arrived << m.payload.section(QStringLiteral("\"value\":"), 1).section(QLatin1Char(','), 0, 0);
        QVERIFY(!arrived.isEmpty());
        const qsizetype first = printed.size() - arrived.size();
        QCOMPARE(arrived, printed.mid(first));
        QVERIFY2(first <= whenAway + 1, qPrintable(QStringLiteral("%1 %2").arg(first).arg(whenAway)));
        QCOMPARE(run.err.count("unreachable"), 1);
        QVERIFY2(run.err.count("is back;") == 1, run.err.constData());
    }

    // A broker whose packet claims 256 MB and brings it: the reader leaves the
    // connection long before it has taken that much, and says why.
    void hugePacketFromTheBroker()
    {
        QTcpServer fake;
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        MqttPublisher publisher(*BrokerUrl::parse(QStringLiteral("mqtt://127.0.0.1:%1/plant").arg(fake.serverPort()), nullptr), {});
        QSignalSpy trouble(&publisher, &MqttPublisher::trouble);
        publisher.start();
        QVERIFY(fake.waitForNewConnection(10000));
        QTcpSocket *broker = fake.nextPendingConnection();
        QTRY_VERIFY(broker->bytesAvailable() > 0); // CONNECT
        broker->readAll();
        // CONNACK, then PUBLISH with the longest remaining length there is.
        broker->write(QByteArray::fromHex("20020000" "30ffffff7f"));
        const QByteArray chunk(64 * 1024, 'x');
        // Far below the 256 MB claimed; a loaded machine lets the kernel's buffers and
        // the library's reads take some MB before the reader's check runs.
        constexpr qint64 kEnough = 64 * 1024 * 1024;
        qint64 written = 0;
        while (broker->state() == QAbstractSocket::ConnectedState && written < kEnough) {
            if (broker->bytesToWrite() < 4 * chunk.size())
                written += broker->write(chunk);
            broker->waitForBytesWritten(100);
            // At most 64 MB/s, as from a broker across a network. The library reads a
            // packet for as long as bytes wait, and the reader checks between its
            // reads: a writer in this process at memory speed, on another core, could
            // keep one read going for ever, which no network does.
            QThread::msleep(1);
        }
        QVERIFY2(written < kEnough, "the reader took 64 MB of one packet");
        QTRY_VERIFY(!trouble.isEmpty());
        QVERIFY2(trouble.first().at(1).toString().contains(QLatin1String("sent more than")),
                 qPrintable(trouble.first().at(1).toString()));
        publisher.finish(std::chrono::milliseconds(0));
    }

    // The device goes away: every module read is "gone" until it is back.
    void deviceGone()
    {
        REQUIRE_MOSQUITTO();
        Broker broker;
        QVERIFY(broker.start());
        Subscriber sub;
        QVERIFY(sub.start(broker));
        ReaderRun run;
        QVERIFY(run.start({QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:%1/plant").arg(broker.port)},
                          {QStringLiteral("--turnaround"), QStringLiteral("20")}));
        QTRY_VERIFY(run.values().size() >= 3);
        run.sim.kill();
        // Reading stops first (stale), then the device is found gone.
        QTRY_COMPARE(sub.payloads(QStringLiteral("/0/state")).value(2), QStringLiteral("gone"));
        QVERIFY2(run.finish(true), run.err.constData());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("malformed URL") << QStringList{"--mqtt", "mqtt://op:" + kSecret + "@h:port/p"} << "--mqtt's port";
        QTest::newRow("password twice") << QStringList{"--mqtt", "mqtt://op:" + kSecret + "@h/p", "--mqtt-password-file", "/etc/hostname"} << "not both";
        QTest::newRow("password file without user") << QStringList{"--mqtt", "mqtt://h/p", "--mqtt-password-file", "/etc/hostname"} << "needs a user";
        QTest::newRow("CA without TLS") << QStringList{"--mqtt", "mqtt://h/p", "--mqtt-ca", "/etc/hostname"} << "is for mqtts://";
        QTest::newRow("CA without --mqtt") << QStringList{"--mqtt-ca", "/etc/hostname"} << "works only with --mqtt";
        QTest::newRow("with --scan") << QStringList{"--scan", "--mqtt", "mqtt://h/p"} << "--scan only looks";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QProcess reader;
        reader.start(QStringLiteral(KVP_READER), QStringList{QStringLiteral("--console"), QStringLiteral("--simulate")} + arguments);
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.exitCode(), 2);
        const QByteArray output = reader.readAllStandardOutput() + reader.readAllStandardError();
        QVERIFY2(output.contains(said.toUtf8()), output.constData());
        QVERIFY(!output.contains(kSecret.toUtf8()));
    }
};

QTEST_MAIN(tst_mqtt)
#include "tst_mqtt.moc"
