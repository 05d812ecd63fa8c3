#include "CommandLine.h"

#include "AddressArgument.h"
#include "ReadoutOptions.h"
#include "network/NetworkAddress.h"
#include "platform/StderrLine.h"
#include "mqtt/MqttAvailable.h"
#include "serial/PortSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace kvp {
namespace {

constexpr int kUsageError = 2;
constexpr int kMaxGiveUpSeconds = 2'000'000; // about 23 days; a timer counts in int milliseconds

CommandLine usageError(const QString &message)
{
    writeStderrLine(message);
    std::fputs("Try 'kvp-reader --help'.\n", stderr);
    CommandLine result;
    result.exitCode = kUsageError;
    return result;
}

bool parsePositive(const QString &text, int low, int high, int &out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

// Puts the password into the URL, or says why it cannot. Where it comes from, in this order: the URL, the file, the environment.
// A password given twice is a mistake; the environment is a default.
std::optional<QString> takeMqttPassword(BrokerUrl &url, const QString &passwordFile, bool fileGiven)
{
    if (fileGiven) {
        if (url.hasPassword)
            return QStringLiteral("--mqtt already holds a password; give it there or in --mqtt-password-file, not both");
        if (url.user.isEmpty())
            return QStringLiteral("--mqtt-password-file needs a user in --mqtt: mqtt://USER@HOST/PREFIX");
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("--mqtt-password-file: cannot read %1 (%2)").arg(passwordFile, file.errorString());
        // The first line, as `echo secret > file` writes it.
        url.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        url.hasPassword = true;
    } else if (!url.hasPassword && !url.user.isEmpty() && qEnvironmentVariableIsSet("KVP_MQTT_PASSWORD")) {
        url.password = qEnvironmentVariable("KVP_MQTT_PASSWORD");
        url.hasPassword = true;
    }
    return std::nullopt;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    const Options defaults;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Polls a KV-P measurement module on a serial line (19200 bit/s, even parity, 8 data bits, "
        "1 stop bit) and shows its current value: in a window by default, or with --console on standard output."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Serial device to use (default: the first serial port, %1, unless it is the "
                                                 "system console), or a serial server: tcp://HOST:PORT (raw) or "
                                                 "rfc2217://HOST:PORT (the reader sets the server's line).")
                                      .arg(PortSettings::defaultPortName()),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Module address 0 to 31 to start with (default %1); with "
                                                    "--console a list of modules on one bus, read in turn: "
                                                    "3,7,12 or 0-4,9.")
                                         .arg(defaults.address),
                                     QStringLiteral("N[,N|N-N...]"), defaults.address);
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("How long to wait for a reply before asking again, "
                                                    "in milliseconds (default %1).").arg(defaults.timeoutMs),
                                     QStringLiteral("MS"), QString::number(defaults.timeoutMs));
    const QCommandLineOption listPorts(QStringLiteral("list-ports"),
                                       QStringLiteral("List the serial ports of this machine and exit."));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Read from a built-in simulated module instead of a "
                                                     "serial port."));
    const QCommandLineOption console(QStringLiteral("console"),
                                     QStringLiteral("No window: start reading at once and print each value "
                                                    "on its own line."));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("With --console: exit after N values."), QStringLiteral("N"));
    const QCommandLineOption echo(QStringLiteral("echo"),
                                  QStringLiteral("Drop the echo of our own commands that two-wire RS-485 "
                                                 "adapters produce."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append each good value to FILE as a CSV line: time, address, value."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption giveUp(QStringLiteral("give-up"),
                                    QStringLiteral("With --console: end with exit status 1 when the device has "
                                                   "been gone SECONDS and not come back (default: wait for ever)."),
                                    QStringLiteral("SECONDS"));
    
    const QCommandLineOption scan(QStringLiteral("scan"),
                                  QStringLiteral("Ask every address 0 to 31 once, print each that answers with "
                                                 "its value (ADDRESS VALUE, one a line) and exit; exit status 1 "
                                                 "when none answers."));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"),
                                  QStringLiteral("Publish every value to an MQTT broker: "
                                                 "mqtt://[USER@]HOST[:PORT]/PREFIX (port 1883), or mqtts:// for TLS "
                                                 "(port 8883), e.g. mqtt://broker.local/plant/kvp."),
                                  QStringLiteral("URL"));
    const QCommandLineOption mqttCa(QStringLiteral("mqtt-ca"),
                                    QStringLiteral("With mqtts://: the CA certificate (PEM) that signed the broker's "
                                                   "(default: the system's)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mqttPasswordFile(QStringLiteral("mqtt-password-file"),
                                              QStringLiteral("The broker password, the first line of FILE (or in "
                                                             "KVP_MQTT_PASSWORD)."),
                                              QStringLiteral("FILE"));
    parser.addOptions({port, address, timeout, listPorts, simulate, console, count, echo, log, giveUp, scan});
    const ReadoutOptions readout;
    parser.addOptions(readout.options());
    parser.addOptions({mqtt, mqttCa, mqttPasswordFile});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    // Two values for one option are a mistake to point out, not a choice to guess.
    const QStringList given = parser.optionNames();
    for (const QString &name : given) {
        if (given.count(name) > 1)
            return usageError(QStringLiteral("--%1 is given more than once").arg(name));
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return CommandLine{{}, 0};
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("kvp-reader %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return CommandLine{{}, 0};
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    CommandLine result;
    Options &o = result.options;
    o.port = parser.value(port);
    o.address = parser.value(address);
    o.listPorts = parser.isSet(listPorts);
    o.simulate = parser.isSet(simulate);
    o.console = parser.isSet(console);
    o.echo = parser.isSet(echo);
    o.logFile = parser.value(log);
    o.scan = parser.isSet(scan);
    o.addressGiven = parser.isSet(address);
    o.timeoutGiven = parser.isSet(timeout);
    o.echoGiven = o.echo;
    const auto addresses = addressArgument(o.address);
    if (!addresses)
        return usageError(QStringLiteral("--address must be whole numbers from 0 to 31, each once, as one (5), a "
                                         "list (3,7,12) or ranges (0-4,9), not '%1'").arg(o.address));
    o.address = QString::number(addresses->first());
    if (addresses->size() > 1) {
        if (!o.console || o.scan)
            return usageError(QStringLiteral("several addresses are read with --console; the window reads one, and "
                                             "--scan asks them all"));
        o.bus = *addresses;
    }
    if (!parsePositive(parser.value(timeout), 50, 60000, o.timeoutMs))
        return usageError(QStringLiteral("--timeout must be a number of milliseconds from 50 to 60000, not '%1'")
                              .arg(parser.value(timeout)));
    if (parser.isSet(count) && !parsePositive(parser.value(count), 1, 2'000'000'000, o.count))
        return usageError(QStringLiteral("--count must be a positive number, not '%1'").arg(parser.value(count)));
    if (parser.isSet(giveUp) && !parsePositive(parser.value(giveUp), 1, kMaxGiveUpSeconds, o.giveUpSeconds))
        return usageError(QStringLiteral("--give-up must be a number of seconds from 1 to %1, not '%2'")
                              .arg(kMaxGiveUpSeconds).arg(parser.value(giveUp)));
    // Taken and then ignored they would promise an end that never comes.
    for (const QCommandLineOption *consoleOnly : {&count, &giveUp}) {
        if (parser.isSet(*consoleOnly) && (!o.console || o.scan))
            return usageError(QStringLiteral("--%1 works only with --console (not with the window or --scan)")
                                  .arg(consoleOnly->names().first()));
    }
    if (parser.isSet(port) && o.port.isEmpty())
        return usageError(QStringLiteral("--port needs a device, e.g. /dev/ttyUSB0 (see --list-ports)"));
    if (QString why; NetworkAddress::isServer(o.port) && !NetworkAddress::parse(o.port, &why))
        return usageError(QStringLiteral("--port %1 is not a serial server's address: %2").arg(o.port, why));
    if (parser.isSet(log) && o.logFile.isEmpty())
        return usageError(QStringLiteral("--log needs a file name"));
    // Said before the URL is judged: no URL would help.
    if (parser.isSet(mqtt) && !mqttInThisBuild())
        return usageError(QStringLiteral("--mqtt: ") + mqttMissingText());
    if (parser.isSet(mqtt)) {
        QString why;
        o.mqtt = BrokerUrl::parse(parser.value(mqtt), &why);
        if (!o.mqtt)
            return usageError(why);
        if (o.mqtt->tls && !mqttTlsInThisBuild())
            return usageError(QStringLiteral("--mqtt: ") + mqttTlsMissingText());
        if (const auto failed = takeMqttPassword(*o.mqtt, parser.value(mqttPasswordFile), parser.isSet(mqttPasswordFile)))
            return usageError(*failed);
        if (o.scan)
            return usageError(QStringLiteral("--mqtt publishes what is read; --scan only looks for modules"));
    }
    for (const QCommandLineOption *mqttOnly : {&mqttCa, &mqttPasswordFile}) {
        if (parser.isSet(*mqttOnly) && !o.mqtt)
            return usageError(QStringLiteral("--%1 works only with --mqtt").arg(mqttOnly->names().first()));
    }
    if (parser.isSet(mqttCa)) {
        o.mqttCa = parser.value(mqttCa);
        if (!o.mqtt->tls)
            return usageError(QStringLiteral("--mqtt-ca is for mqtts:// (TLS); --mqtt gives mqtt://"));
        if (!QFileInfo(o.mqttCa).isReadable())
            return usageError(QStringLiteral("--mqtt-ca: cannot read %1").arg(o.mqttCa));
    }
    if (o.simulate && parser.isSet(port))
        return usageError(QStringLiteral("--simulate and --port exclude each other"));
    if (const QString error = readout.take(parser, o); !error.isEmpty())
        return usageError(error);
    return result;
}

} // namespace kvp
