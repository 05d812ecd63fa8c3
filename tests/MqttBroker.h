#pragma once
// A mosquitto of the test's own, for the tests that publish to a broker.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

inline QString program(const QString &name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                                 QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/bin")});
}

inline int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A mosquitto of the test's own on 127.0.0.1, without persistence.
struct Broker {
    QTemporaryDir dir;
    QProcess process;
    int port = freePort();

    bool start(const QString &extra = {})
    {
        QFile conf(dir.filePath(QStringLiteral("broker.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        // Started as root, mosquitto would become the user mosquitto, who cannot read the
        // test's folder; any other user it leaves as it is.
        conf.write(QStringLiteral("listener %1 127.0.0.1\npersistence false\nlog_dest stderr\nuser root\n%2\n")
                       .arg(port)
                       .arg(extra.isEmpty() ? QStringLiteral("allow_anonymous true") : extra)
                       .toUtf8());
        conf.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program(QStringLiteral("mosquitto")), {QStringLiteral("-c"), conf.fileName()});
        QByteArray log;
        while (!log.contains(" running") && process.waitForReadyRead(5000))
            log += process.readAll();
        if (!log.contains(" running"))
            qWarning("%s", log.constData());
        return log.contains(" running");
    }
    // A listener with TLS, its certificate signed by a CA of the test's own (caFile()).
    bool startTls()
    {
        const auto openssl = [this](const QString &arguments) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(program(QStringLiteral("openssl")), arguments.split(QLatin1Char(' ')));
            return p.waitForFinished(30000) && p.exitCode() == 0;
        };
        QFile ext(dir.filePath(QStringLiteral("ext.cnf")));
        if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=IP:127.0.0.1\n") < 0)
            return false;
        ext.close();
        return openssl(QStringLiteral("req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj /CN=kvp-test-ca"))
               && openssl(QStringLiteral("req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1"))
               && openssl(QStringLiteral("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile ext.cnf"))
               && start(QStringLiteral("allow_anonymous true\ncafile %1\ncertfile %2\nkeyfile %3")
                            .arg(caFile(), dir.filePath(QStringLiteral("server.crt")), dir.filePath(QStringLiteral("server.key"))));
    }
    QString caFile() const { return dir.filePath(QStringLiteral("ca.crt")); }
    bool tls() const { return QFile::exists(caFile()); }

    void kill()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    ~Broker() { kill(); }
};


struct Message {
    bool retained;
    QString topic;
    QString payload;
};

// mosquitto_sub on PREFIX/#, ready once the broker has its subscription.
struct Subscriber {
    QProcess process;
    QByteArray out;

    bool start(const Broker &broker)
    {
        // Line-buffered: it flushes its output only after a message otherwise.
        QStringList arguments{QStringLiteral("-oL"), program(QStringLiteral("mosquitto_sub")), QStringLiteral("-d"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                              QString::number(broker.port), QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"),
                              QStringLiteral("plant/#"), QStringLiteral("-F"), QStringLiteral("%r %t %p")};
        if (broker.tls())
            arguments << QStringLiteral("--cafile") << broker.caFile();
        process.start(program(QStringLiteral("stdbuf")), arguments);
        while (!out.contains("Subscribed") && process.waitForReadyRead(5000))
            out += process.readAll();
        return out.contains("Subscribed");
    }
    QList<Message> messages(const QString &leaf = {})
    {
        out += process.readAll();
        QList<Message> result;
        for (const QByteArray &line : out.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() < 3 || (parts[0] != "0" && parts[0] != "1"))
                continue; // the client's own debugging lines
            const QString topic = QString::fromUtf8(parts[1]);
            if (leaf.isEmpty() || topic.endsWith(leaf))
                result.append({parts[0] == "1", topic, QString::fromUtf8(line.mid(parts[0].size() + parts[1].size() + 2))});
        }
        return result;
    }
    QStringList payloads(const QString &leaf)
    {
        QStringList result;
        for (const Message &m : messages(leaf))
            result << m.payload;
        return result;
    }
    ~Subscriber()
    {
        process.kill();
        process.waitForFinished(3000);
    }
};

#define REQUIRE_MOSQUITTO()                                                                                            \
    if (program(QStringLiteral("mosquitto")).isEmpty() || program(QStringLiteral("mosquitto_sub")).isEmpty())          \
    QSKIP("mosquitto and mosquitto_sub are not installed (apt-get install mosquitto mosquitto-clients)")
