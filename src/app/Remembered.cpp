#include "Remembered.h"

#include "protocol/Address.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <QStandardPaths>

namespace kvp {
namespace {

// The range --timeout takes; a hand-edited file cannot widen it.
constexpr int kShortestTimeout = 50;
constexpr int kLongestTimeout = 60000;

const QString kPort = QStringLiteral("read/port");
const QString kAddress = QStringLiteral("read/address");
const QString kEcho = QStringLiteral("read/echo");
const QString kTimeout = QStringLiteral("read/timeoutMs");
const QString kPosition = QStringLiteral("window/position");
const QString kModules = QStringLiteral("window/modules");
const QString kInterval = QStringLiteral("read/intervalMs");
// One group a module: readout/7/scale, readout/7/high, ...
const QString kReadout = QStringLiteral("readout");
const QString kTrendOpen = QStringLiteral("trend/open");
const QString kTrendSpan = QStringLiteral("trend/spanSeconds");
const QString kTrendAll = QStringLiteral("trend/allModules");
// The spans the trend offers lie between these.
constexpr int kShortestSpan = 10;
constexpr int kLongestSpan = 3600;

QSettings open()
{
    return QSettings(RememberedStore::fileName(), QSettings::IniFormat);
}

// What this program writes, true or false; QVariant::toBool() would take any other
// word ("banana") as true.
std::optional<bool> strictBool(const QVariant &value)
{
    const QString word = value.toString().trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// What was saved by address; a module with a value that does not read back (a
// hand-edited "scale=banana", a low limit above the high one) keeps the defaults.
std::map<int, ReadoutSettings> loadReadouts(const QSettings &settings)
{
    std::map<int, ReadoutSettings> readouts;
    for (const QString &key : settings.allKeys()) {
        const QStringList parts = key.split(QLatin1Char('/'));
        if (parts.size() != 3 || parts[0] != kReadout)
            continue;
        bool isNumber = false;
        const int address = parts[1].toInt(&isNumber);
        if (!isNumber || address < kLowestAddress || address > kHighestAddress || readouts.count(address))
            continue;
        const QString group = kReadout + QLatin1Char('/') + parts[1] + QLatin1Char('/');
        const auto number = [&](const char *name) { return DecimalNumber::parse(settings.value(group + QLatin1String(name)).toString().toStdString()); };
        const auto given = [&](const char *name) { return settings.contains(group + QLatin1String(name)); };
        ReadoutSettings r;
        bool ok = true;
        if (given("scale")) {
            const auto scale = number("scale");
            ok = ok && scale && scale->mantissa != 0;
            r.units.scale = scale.value_or(r.units.scale);
        }
        if (given("offset")) {
            const auto offset = number("offset");
            ok = ok && offset;
            r.units.offset = offset.value_or(r.units.offset);
        }
        if (given("decimals")) {
            bool isInt = false;
            r.units.decimals = settings.value(group + QStringLiteral("decimals")).toInt(&isInt);
            ok = ok && isInt && r.units.decimals >= 0 && r.units.decimals <= EngineeringUnits::kMostDecimals;
        }
        r.units.unit = settings.value(group + QStringLiteral("unit")).toString().toStdString();
        for (const auto &[name, limit] : {std::pair{"low", &r.limits.low}, std::pair{"high", &r.limits.high}}) {
            if (given(name)) {
                *limit = number(name);
                ok = ok && *limit;
            }
        }
        if (given("deadband")) {
            const auto band = number("deadband");
            ok = ok && band && band->mantissa >= 0;
            r.limits.deadband = band.value_or(r.limits.deadband);
        }
        if (ok && r.limits.valid())
            readouts[address] = r;
    }
    return readouts;
}

} // namespace

QString RememberedStore::fileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/kvp-reader/kvp-reader.conf");
}

Remembered RememberedStore::load()
{
    const QSettings settings = open();
    Remembered last;
    last.port = settings.value(kPort).toString();
    last.address = settings.value(kAddress).toString();
    last.echo = strictBool(settings.value(kEcho));
    bool ok = false;
    if (const int ms = settings.value(kTimeout).toInt(&ok); ok)
        last.timeoutMs = ms;
    if (settings.contains(kPosition))
        last.position = settings.value(kPosition).toPoint();
    // A list of addresses, "3,7,9"; an entry that is no address 0..31, or one given
    // before, is left out and the rest kept.
    const QVariant modules = settings.value(kModules);
    const QStringList entries = modules.typeId() == QMetaType::QStringList
                                    ? modules.toStringList()
                                    : modules.toString().split(QLatin1Char(','));
    for (const QString &entry : entries) {
        const QString word = entry.trimmed();
        const bool digits = !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); });
        const int address = word.toInt();
        if (digits && address >= kLowestAddress && address <= kHighestAddress && !last.modules.contains(address))
            last.modules << address;
    }
    if (const int ms = settings.value(kInterval).toInt(&ok); ok && ms >= 0 && ms <= CycleSettings::kLongestPollInterval.count())
        last.intervalMs = ms;
    last.readouts = loadReadouts(settings);
    last.trendOpen = strictBool(settings.value(kTrendOpen));
    last.trendAllModules = strictBool(settings.value(kTrendAll));
    if (const int span = settings.value(kTrendSpan).toInt(&ok); ok && span >= kShortestSpan && span <= kLongestSpan)
        last.trendSpanSeconds = span;
    return last;
}

namespace {

// Writes now rather than when the object goes, so that the outcome is known.
bool written(QSettings &settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

bool RememberedStore::saveRead(const QString &port, const QString &address, bool echo, int timeoutMs)
{
    QSettings settings = open();
    if (!port.isEmpty())
        settings.setValue(kPort, port);
    settings.setValue(kAddress, address);
    settings.setValue(kEcho, echo);
    settings.setValue(kTimeout, timeoutMs);
    return written(settings);
}

bool RememberedStore::saveLine(bool echo, int timeoutMs)
{
    QSettings settings = open();
    settings.setValue(kEcho, echo);
    settings.setValue(kTimeout, timeoutMs);
    return written(settings);
}

bool RememberedStore::savePosition(QPoint position)
{
    QSettings settings = open();
    settings.setValue(kPosition, position);
    return written(settings);
}

bool RememberedStore::saveModules(const QList<int> &addresses)
{
    QSettings settings = open();
    QStringList entries;
    for (const int a : addresses)
        entries << QString::number(a);
    // One line a person can read and edit; QSettings would quote a list element by element.
    settings.setValue(kModules, entries.join(QLatin1Char(',')));
    return written(settings);
}

bool RememberedStore::saveInterval(int intervalMs)
{
    QSettings settings = open();
    settings.setValue(kInterval, intervalMs);
    return written(settings);
}

bool RememberedStore::saveReadout(int address, const ReadoutSettings &r)
{
    QSettings settings = open();
    settings.remove(QStringLiteral("%1/%2").arg(kReadout).arg(address));
    if (!(r == ReadoutSettings{})) {
        settings.beginGroup(QStringLiteral("%1/%2").arg(kReadout).arg(address));
        // As text, '.' as the point: a person can read and edit it, and it reads back exactly.
        settings.setValue(QStringLiteral("scale"), QString::fromStdString(r.units.scale.text()));
        settings.setValue(QStringLiteral("offset"), QString::fromStdString(r.units.offset.text()));
        settings.setValue(QStringLiteral("decimals"), r.units.decimals);
        settings.setValue(QStringLiteral("unit"), QString::fromStdString(r.units.unit));
        if (r.limits.low)
            settings.setValue(QStringLiteral("low"), QString::fromStdString(r.limits.low->text()));
        if (r.limits.high)
            settings.setValue(QStringLiteral("high"), QString::fromStdString(r.limits.high->text()));
        if (r.limits.deadband.mantissa != 0)
            settings.setValue(QStringLiteral("deadband"), QString::fromStdString(r.limits.deadband.text()));
        settings.endGroup();
    }
    return written(settings);
}

bool RememberedStore::saveTrend(bool isOpen, int spanSeconds, bool allModules)
{
    QSettings settings = open();
    settings.setValue(kTrendOpen, isOpen);
    settings.setValue(kTrendSpan, spanSeconds);
    settings.setValue(kTrendAll, allModules);
    return written(settings);
}

Options withRemembered(Options options, const Remembered &last)
{
    if (!options.intervalGiven && last.intervalMs)
        options.intervalMs = *last.intervalMs;
    if (!options.addressGiven && validAddress(last.address.toStdString()))
        options.address = last.address;
    if (!options.timeoutGiven && last.timeoutMs && *last.timeoutMs >= kShortestTimeout
        && *last.timeoutMs <= kLongestTimeout)
        options.timeoutMs = *last.timeoutMs;
    if (!options.echoGiven && last.echo)
        options.echo = *last.echo;
    return options;
}

} // namespace kvp
