// kvp-sim: a simulated KV-P module, for trying kvp-reader without hardware and for
// testing it against every fault a real line has.
#include "PseudoTerminal.h"
#include "SimulatorEndpoint.h"
#include "platform/SignalWatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace kvp;

namespace {

[[noreturn]] void usageError(const QString &message)
{
    std::fprintf(stderr, "kvp-sim: %s\nTry 'kvp-sim --help'.\n", qPrintable(message));
    std::exit(2);
}

double probability(const QString &text, const char *name)
{
    bool ok = false;
    const double p = text.toDouble(&ok);
    if (!ok || !(p >= 0 && p <= 1)) // NaN fails both comparisons
        usageError(QStringLiteral("--%1 takes a probability from 0 to 1, not '%2'").arg(QString::fromLatin1(name), text));
    return p;
}

double probability(const QCommandLineParser &parser, const char *name)
{
    return probability(parser.value(QString::fromLatin1(name)), name);
}

long long wholeNumber(const QString &text, const char *name, long long min, long long max)
{
    bool ok = false;
    const long long n = text.toLongLong(&ok);
    if (!ok || n < min || n > max)
        usageError(QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
                       .arg(QString::fromLatin1(name)).arg(min).arg(max).arg(text));
    return n;
}

long long wholeNumber(const QCommandLineParser &parser, const char *name, long long min, long long max)
{
    return wholeNumber(parser.value(QString::fromLatin1(name)), name, min, max);
}

// "8", "7=8" or "6,7=8,9=12": the value for every module, and for some by address
// (modules on one bus differ). Calls `common` with the first and `own` with each
// ADDRESS=VALUE; the address must be one of the modules played.
template<typename Common, typename Own>
void perModule(const QCommandLineParser &parser, const char *name, const std::vector<int> &addresses,
               Common common, Own own)
{
    for (const QString &item : parser.value(QString::fromLatin1(name)).split(QLatin1Char(','))) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq < 0) {
            common(item.trimmed());
            continue;
        }
        bool ok = false;
        const int address = item.left(eq).trimmed().toInt(&ok);
        if (!ok || std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            usageError(QStringLiteral("--%1 %2: %3 is not an address of --address")
                           .arg(QString::fromLatin1(name), item, item.left(eq)));
        own(address, item.mid(eq + 1).trimmed());
    }
}

// "3" or "3,5,17": one module, or several on the same line. Every address is
// 0 to 31 and appears once, as on a real bus.
std::vector<int> addressList(const QCommandLineParser &parser)
{
    const QString text = parser.value(QStringLiteral("address"));
    std::vector<int> addresses;
    for (const QString &item : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int address = item.trimmed().toInt(&ok);
        if (!ok || address < 0 || address > 31)
            usageError(QStringLiteral("--address takes addresses from 0 to 31, separated by commas, not '%1'").arg(text));
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end())
            usageError(QStringLiteral("--address names %1 twice: each module on a line needs an address of its own")
                           .arg(address));
        addresses.push_back(address);
    }
    return addresses;
}

// A real serial device, set to the module's line settings.
int openDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B19200);
    tio.c_cflag |= PARENB | CS8 | CLOCAL | CREAD;
    tio.c_cflag &= ~(PARODD | CSTOPB);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvp-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KVP_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated KV-P module. Opens a pseudo-terminal and prints the device path for the reader's "
        "--port, or serves a serial device given with --device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto option = [&](const char *name, const char *help, const char *valueName = nullptr,
                            const char *defaultValue = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help));
        if (valueName) {
            o.setValueName(QString::fromLatin1(valueName));
            if (defaultValue)
                o.setDefaultValue(QString::fromLatin1(defaultValue));
        }
        parser.addOption(o);
    };
    option("address",
           "Module address to answer, 0 to 31 (default 0); several separated by commas play several modules on one line.",
           "N[,N...]", "0");
    option("device", "Serve this serial device instead of a new pseudo-terminal.", "PATH");
    option("seed", "Seed of the values and the faults (default 1).", "N", "1");
    option("split", "Probability of sending a reply in several pieces.", "P", "0");
    option("drop", "Probability of not answering a query; ADDRESS=P for one module of several.", "P[,ADDRESS=P...]",
           "0");
    option("corrupt", "Probability of flipping a bit of a reply; ADDRESS=P for one module of several.",
           "P[,ADDRESS=P...]", "0");
    option("stray", "Probability of adding a stray byte to a reply.", "P", "0");
    option("lead", "Probability of a spurious 0x00 or 0xFF byte ahead of a reply.", "P", "0");
    option("pause", "Probability of one pause of --pause-ms inside a reply.", "P", "0");
    option("repeat", "Probability of sending a value reply a second time, right behind the first.", "P", "0");
    option("clash",
           "Probability that a second module at the same address answers a query too, garbling the reply; "
           "ADDRESS=P for one module of several.",
           "P[,ADDRESS=P...]", "0");
    option("pause-ms", "The pause inside a split reply (default 1 to 5 ms) and of --pause (default 40 ms).", "MS", "0");
    option("reply-bytes",
           "Length of a value reply, 6 to 32: value, check byte, filler, CR LF (default 6); ADDRESS=N for one module "
           "of several.",
           "N[,ADDRESS=N...]", "6");
    option("status-byte", "Make the byte after the check byte change with every reply.");
    option("filler", "The byte between the check byte and CR LF in replies longer than 6 (default 32).", "BYTE", "32");
    option("amplitude", "Amplitude of the value wave, 0 to 8388000 (default 3000000).", "N", "3000000");
    option("noise", "Amplitude of the noise on every value, 0 to 99 (default 99); 0 with --amplitude 0: all read 0.",
           "N", "99");
    option("change-after", "After N value replies, reply as --then-reply-bytes and --then-status-byte say.", "N",
           "0");
    option("then-reply-bytes", "With --change-after: the new length of a value reply, 6 to 32.", "N", "0");
    option("then-status-byte", "With --change-after: the byte after the check byte begins to change.");
    option("turnaround", "Milliseconds the module takes to answer (default 0); ADDRESS=MS for one module of several.",
           "MS[,ADDRESS=MS...]", "0");
    option("pace", "Take as long as a real 19200 bit/s 8E1 line for every byte.");
    option("usb-ms", "Hold bytes back for a USB adapter's latency timer of this period (with --pace).", "MS", "0");
    option("echo", "Echo every byte received, as two-wire RS-485 adapters do.");
    option("log", "Write every value sent intact to FILE, one a line.", "FILE");
    option("trace", "Write what became of every query to FILE: value, dropped, corrupted, with stray and split marks.",
           "FILE");
    option("flood", "After the first command, stream garbage for SECONDS, answering nothing.", "SECONDS", "0");
    option("flood-after", "Answer N value queries before the flood (default 0).", "N", "0");
    // process() would exit with status 1 on an unknown option; usage errors are 2.
    if (!parser.parse(QCoreApplication::arguments()))
        usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    // The parser keeps the last of two values; a second --address would quietly replace the first.
    const QStringList given = parser.optionNames();
    for (const QString &name : given) {
        if (given.count(name) > 1)
            usageError(QStringLiteral("--%1 is given more than once").arg(name));
    }

    SimulatorSettings settings;
    const std::vector<int> addresses = addressList(parser);
    settings.address = addresses.front();
    settings.moreAddresses.assign(addresses.begin() + 1, addresses.end());
    const bool several = !settings.moreAddresses.empty();
    settings.seed = static_cast<std::uint32_t>(wholeNumber(parser, "seed", 0, 0xFFFFFFFFLL));
    perModule(parser, "turnaround", addresses,
              [&](const QString &v) { settings.turnaroundMs = int(wholeNumber(v, "turnaround", 0, SimulatorSettings::kMaxMs)); },
              [&](int a, const QString &v) {
                  settings.differences[a].turnaroundMs = int(wholeNumber(v, "turnaround", 0, SimulatorSettings::kMaxMs));
              });
    settings.pauseMs = static_cast<int>(wholeNumber(parser, "pause-ms", 0, SimulatorSettings::kMaxMs));
    settings.usbMs = static_cast<int>(wholeNumber(parser, "usb-ms", 0, 1000));
    const auto replyBytes = [](const QString &v) {
        return int(wholeNumber(v, "reply-bytes", SimulatorSettings::kMinReplyBytes, SimulatorSettings::kMaxReplyBytes));
    };
    perModule(parser, "reply-bytes", addresses, [&](const QString &v) { settings.replyBytes = replyBytes(v); },
              [&](int a, const QString &v) { settings.differences[a].replyBytes = replyBytes(v); });
    settings.filler = static_cast<std::uint8_t>(wholeNumber(parser, "filler", 0, 255));
    // The noise on top of the wave is +-99: keep the sum inside the 24-bit range.
    settings.amplitude = static_cast<int>(wholeNumber(parser, "amplitude", 0, 8'388'000));
    settings.noise = static_cast<int>(wholeNumber(parser, "noise", 0, 99));
    settings.changeAfter = static_cast<int>(wholeNumber(parser, "change-after", 0, 1'000'000'000));
    settings.thenReplyBytes = parser.isSet(QStringLiteral("then-reply-bytes"))
        ? static_cast<int>(wholeNumber(parser, "then-reply-bytes", SimulatorSettings::kMinReplyBytes,
                                       SimulatorSettings::kMaxReplyBytes))
        : 0;
    settings.thenStatusByte = parser.isSet(QStringLiteral("then-status-byte"));
    if ((settings.thenReplyBytes > 0 || settings.thenStatusByte) != (settings.changeAfter > 0))
        usageError(QStringLiteral("--change-after N goes with --then-reply-bytes or --then-status-byte, "
                                  "and they with it"));
    settings.floodSeconds = static_cast<int>(wholeNumber(parser, "flood", 0, 3600));
    settings.floodAfter = static_cast<int>(wholeNumber(parser, "flood-after", 0, 1'000'000'000));
    settings.split = probability(parser, "split");
    perModule(parser, "drop", addresses, [&](const QString &v) { settings.drop = probability(v, "drop"); },
              [&](int a, const QString &v) { settings.differences[a].drop = probability(v, "drop"); });
    perModule(parser, "corrupt", addresses, [&](const QString &v) { settings.corrupt = probability(v, "corrupt"); },
              [&](int a, const QString &v) { settings.differences[a].corrupt = probability(v, "corrupt"); });
    perModule(parser, "clash", addresses, [&](const QString &v) { settings.clash = probability(v, "clash"); },
              [&](int a, const QString &v) { settings.differences[a].clash = probability(v, "clash"); });
    settings.stray = probability(parser, "stray");
    settings.lead = probability(parser, "lead");
    settings.pause = probability(parser, "pause");
    settings.repeat = probability(parser, "repeat");
    settings.pace = parser.isSet(QStringLiteral("pace"));
    settings.echo = parser.isSet(QStringLiteral("echo"));
    settings.statusByte = parser.isSet(QStringLiteral("status-byte"));

    std::unique_ptr<PseudoTerminal> pty;
    int fd = -1;
    QString path;
    if (parser.isSet(QStringLiteral("device"))) {
        path = parser.value(QStringLiteral("device"));
        fd = openDevice(path);
        if (fd < 0) {
            std::fprintf(stderr, "kvp-sim: cannot open %s: %s\n", qPrintable(path), std::strerror(errno));
            return 1;
        }
    } else {
        pty = std::make_unique<PseudoTerminal>();
        if (!pty->isValid()) {
            std::fprintf(stderr, "kvp-sim: cannot open a pseudo-terminal: %s\n", qPrintable(pty->errorString()));
            return 1;
        }
        fd = pty->masterFd();
        path = pty->slavePath();
    }

    // A reader puts the pseudo-terminal in exclusive mode, and one that is killed never
    // lifts it; the terminal outlives it here, so every later reader that is not root
    // would be refused as if the port were busy. Readers keep apart by lock files as
    // well, so the mode is lifted as soon as a reader is heard, and once a second for
    // one killed before it said anything.
    const int slave = pty ? ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    const auto releaseExclusive = [slave] {
        if (slave >= 0)
            ::ioctl(slave, TIOCNXCL);
    };
    QTimer exclusiveRelease;
    QObject::connect(&exclusiveRelease, &QTimer::timeout, &app, releaseExclusive);
    exclusiveRelease.start(1000);

    SimulatorEndpoint endpoint(fd, settings);
    QFile log;
    QFile trace;
    for (auto [file, name] : {std::pair{&log, "log"}, std::pair{&trace, "trace"}}) {
        if (!parser.isSet(QString::fromLatin1(name)))
            continue;
        file->setFileName(parser.value(QString::fromLatin1(name)));
        // Unbuffered, so that a write that fails (a full disk) is known at once.
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text | QIODevice::Unbuffered)) {
            std::fprintf(stderr, "kvp-sim: cannot write %s: %s\n", qPrintable(file->fileName()),
                         qPrintable(file->errorString()));
            return 1;
        }
    }
    // A log that cannot be written ends the simulator: a test would trust a log with gaps.
    bool writeFailed = false;
    const auto put = [&](QFile &file, const QByteArray &text) {
        if (writeFailed || file.write(text) == text.size())
            return;
        writeFailed = true;
        std::fprintf(stderr, "kvp-sim: cannot write the %s %s: %s\n", &file == &log ? "log" : "trace",
                     qPrintable(file.fileName()), qPrintable(file.errorString()));
        file.close();
        QCoreApplication::exit(1);
    };
    endpoint.module().setReplyObserver([&](const ModuleSimulator::Reply &r) {
        releaseExclusive();
        // With several modules on the line every line starts with the module's address.
        const QByteArray who = several ? QByteArray::number(r.address) + ' ' : QByteArray();
        if (log.isOpen() && r.intact())
            put(log, who + QByteArray::number(r.value) + '\n');
        if (trace.isOpen()) {
            put(trace, who + (r.dropped ? QByteArray("dropped")
                                        : (r.corrupted ? "corrupted " : "value ") + QByteArray::number(r.value))
                           + (r.stray ? " stray" : "") + (r.split ? " split" : "") + (r.lead ? " lead" : "")
                           + (r.pause ? " pause" : "") + (r.repeated ? " repeated" : "")
                           + (r.clashed ? " clash" : "") + '\n');
        }
    });
    // On the monotonic clock, so a script can line these up with the reader's output.
    const auto sayWhen = [](const char *what) {
        const double at = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        std::fprintf(stderr, "kvp-sim: flood %s at %.6f\n", what, at);
        std::fflush(stderr);
    };
    QObject::connect(&endpoint, &SimulatorEndpoint::floodStarted, &app, [&] { sayWhen("started"); });
    QObject::connect(&endpoint, &SimulatorEndpoint::floodEnded, &app, [&] { sayWhen("ended"); });

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, &QCoreApplication::quit);
    QObject::connect(&endpoint, &SimulatorEndpoint::lost, &app, [&] {
        std::fprintf(stderr, "kvp-sim: lost %s\n", qPrintable(path));
        QCoreApplication::quit();
    });

    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    const int status = QCoreApplication::exec();

    log.close();
    trace.close();
    const auto &c = endpoint.module().counters();
    std::printf("kvp-sim: setups %llu, queries %llu, intact %llu, dropped %llu, corrupted %llu, split %llu, "
                "stray %llu, lead %llu, pauses %llu, repeats %llu, clashes %llu, ignored %llu\n",
                static_cast<unsigned long long>(c.setups), static_cast<unsigned long long>(c.queries),
                static_cast<unsigned long long>(c.intactValues), static_cast<unsigned long long>(c.dropped),
                static_cast<unsigned long long>(c.corrupted), static_cast<unsigned long long>(c.split),
                static_cast<unsigned long long>(c.strays), static_cast<unsigned long long>(c.leads),
                static_cast<unsigned long long>(c.pauses), static_cast<unsigned long long>(c.repeats),
                static_cast<unsigned long long>(c.clashes),
                static_cast<unsigned long long>(c.ignored));
    if (!pty && fd >= 0)
        ::close(fd);
    if (slave >= 0)
        ::close(slave);
    return status;
}
