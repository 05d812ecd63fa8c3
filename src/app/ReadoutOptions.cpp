#include "ReadoutOptions.h"

#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace kvp {
namespace {

std::optional<DecimalNumber> number(const QString &text)
{
    return DecimalNumber::parse(text.toStdString());
}

QString notANumber(const QString &option, const QString &text)
{
    return QStringLiteral("--%1 must be a number such as 0.001, -12.5 or 1e-3 ('.' as the point, at most %2 digits), "
                          "not '%3'").arg(option).arg(DecimalNumber::kMostDigits).arg(text);
}

} // namespace

ReadoutOptions::ReadoutOptions()
    : m_scale(QStringLiteral("scale"),
              QStringLiteral("Show each value as the module's count times F, plus --offset (default 1). "
                             "ADDRESS=F sets one module's: 0.001,7=0.01; so do the options below."),
              QStringLiteral("F")),
      m_offset(QStringLiteral("offset"), QStringLiteral("Add O to each scaled value (default 0)."),
               QStringLiteral("O")),
      m_decimals(QStringLiteral("decimals"),
                 QStringLiteral("Round the scaled value to N decimals, 0 to %1 (default 0).")
                     .arg(EngineeringUnits::kMostDecimals),
                 QStringLiteral("N")),
      m_unit(QStringLiteral("unit"),
             QStringLiteral("The unit of the scaled values, for the log and the window (not standard output)."),
             QStringLiteral("TEXT")),
      m_low(QStringLiteral("low"),
            QStringLiteral("Low limit, in scaled units: say on standard error when a value goes below it and "
                           "when it is back; the log marks such rows."),
            QStringLiteral("X")),
      m_high(QStringLiteral("high"),
             QStringLiteral("High limit, in scaled units: said and marked as --low is."), QStringLiteral("Y")),
      m_deadband(QStringLiteral("deadband"),
                 QStringLiteral("A value beyond a limit is back within only once it is X inside it, in scaled "
                                "units (default 0: at once), so that noise at a limit is not said at every crossing."),
                 QStringLiteral("X")),
      m_interval(QStringLiteral("interval"),
                 QStringLiteral("Ask for a value no sooner than MS milliseconds after the one before, 0 to %1 "
                                "(default 0: as soon as the module answers).")
                     .arg(CycleSettings::kLongestPollInterval.count()),
                 QStringLiteral("MS"))
{
}

QList<QCommandLineOption> ReadoutOptions::options() const
{
    return {m_scale, m_offset, m_decimals, m_unit, m_low, m_high, m_deadband, m_interval};
}

QString ReadoutOptions::take(const QCommandLineParser &parser, Options &options) const
{
    using Set = std::function<QString(ReadoutSettings &, const QString &)>;
    const auto numberInto = [](const char *name, auto member) -> Set {
        return [name, member](ReadoutSettings &r, const QString &text) -> QString {
            const auto value = number(text);
            if (!value)
                return notANumber(QLatin1String(name), text);
            member(r) = *value;
            return {};
        };
    };
    const std::vector<std::pair<const QCommandLineOption *, Set>> fields{
        {&m_scale, [](ReadoutSettings &r, const QString &text) -> QString {
             const auto scale = number(text);
             if (!scale)
                 return notANumber(QStringLiteral("scale"), text);
             if (scale->mantissa == 0)
                 return QStringLiteral("--scale 0 would show every value as the offset; give the module's factor, "
                                       "e.g. 0.001");
             r.units.scale = *scale;
             return {};
         }},
        {&m_offset, numberInto("offset", [](ReadoutSettings &r) -> DecimalNumber & { return r.units.offset; })},
        {&m_decimals, [](ReadoutSettings &r, const QString &text) -> QString {
             bool ok = false;
             const int decimals = text.toInt(&ok);
             if (!ok || decimals < 0 || decimals > EngineeringUnits::kMostDecimals)
                 return QStringLiteral("--decimals must be a whole number from 0 to %1, not '%2'")
                     .arg(EngineeringUnits::kMostDecimals).arg(text);
             r.units.decimals = decimals;
             return {};
         }},
        {&m_unit, [](ReadoutSettings &r, const QString &text) -> QString {
             if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
                 return QStringLiteral("--unit must be printable text, such as kg or °C (no line breaks or tabs)");
             r.units.unit = text.toStdString();
             return {};
         }},
        {&m_low, numberInto("low", [](ReadoutSettings &r) -> std::optional<DecimalNumber> & { return r.limits.low; })},
        {&m_high, numberInto("high", [](ReadoutSettings &r) -> std::optional<DecimalNumber> & { return r.limits.high; })},
        {&m_deadband, [](ReadoutSettings &r, const QString &text) -> QString {
             const auto band = number(text);
             if (!band)
                 return notANumber(QStringLiteral("deadband"), text);
             if (band->mantissa < 0)
                 return QStringLiteral("--deadband %1: a deadband is a distance inside the limit, 0 or more").arg(text);
             r.limits.deadband = *band;
             return {};
         }},
    };
    const QList<int> modules = options.bus.isEmpty() ? QList<int>{options.address.toInt()} : options.bus;

    // "0.001", "7=0.001" or "0.001,7=0.01,9=1": for every module, and for some by
    // address, as kvp-sim takes --reply-bytes. A unit may hold commas itself ("N, net").
    static const QRegularExpression ownItem(QStringLiteral(R"(^\s*(\d+)\s*=(.*)$)"));
    std::map<int, std::vector<std::pair<const Set *, QString>>> own;
    for (const auto &[option, set] : fields) {
        if (!parser.isSet(*option))
            continue;
        const QString name = option->names().first();
        const QString text = parser.value(*option);
        QStringList common;
        QString *unitGoingOn = nullptr; // a unit's own commas: "kg,5=N, net"
        QList<int> given; // a module's own value once, as --address takes each module once
        for (const QString &item : text.split(QLatin1Char(','))) {
            const auto match = ownItem.match(item);
            if (!match.hasMatch()) {
                if (unitGoingOn)
                    *unitGoingOn += QLatin1Char(',') + item;
                else
                    common << item;
                continue;
            }
            const int address = match.captured(1).toInt();
            if (!modules.contains(address))
                return QStringLiteral("--%1 %2: %3 is not an address of --address").arg(name, item.trimmed()).arg(address);
            if (given.contains(address))
                return QStringLiteral("--%1 %2: address %3 is given twice; give each module's value once")
                    .arg(name, item.trimmed()).arg(address);
            given << address;
            own[address].emplace_back(&set, match.captured(2).trimmed());
            unitGoingOn = option == &m_unit ? &own[address].back().second : nullptr;
        }
        if (common.size() > 1 && option != &m_unit)
            return name == QLatin1String("decimals") ? set(options.readout, text) : notANumber(name, text);
        if (!common.isEmpty())
            if (const QString error = set(options.readout, common.join(QLatin1Char(',')).trimmed()); !error.isEmpty())
                return error;
    }
    const auto limitsValid = [](const ReadoutSettings &r, const QString &where) -> QString {
        if (r.limits.valid())
            return {};
        return QStringLiteral("--low %1 is above --high %2%3: every value would be out of limits")
            .arg(QString::fromStdString(r.limits.low->text()), QString::fromStdString(r.limits.high->text()), where);
    };
    if (const QString error = limitsValid(options.readout, {}); !error.isEmpty())
        return error;
    for (const auto &[address, items] : own) {
        ReadoutSettings r = options.readout; // what it does not set of its own is every module's
        for (const auto &[set, text] : items)
            if (const QString error = (*set)(r, text); !error.isEmpty())
                return error;
        if (const QString error = limitsValid(r, QStringLiteral(" at address %1").arg(address)); !error.isEmpty())
            return error;
        options.readoutByAddress[address] = r;
    }

    if (parser.isSet(m_interval)) {
        bool ok = false;
        const int ms = parser.value(m_interval).toInt(&ok);
        if (!ok || ms < 0 || ms > CycleSettings::kLongestPollInterval.count())
            return QStringLiteral("--interval must be a number of milliseconds from 0 to %1, not '%2'")
                .arg(CycleSettings::kLongestPollInterval.count()).arg(parser.value(m_interval));
        options.intervalMs = ms;
        options.intervalGiven = true;
    }
    options.readoutGiven = std::any_of(fields.begin(), fields.end(), [&parser](const auto &f) { return parser.isSet(*f.first); });
    if (options.scan && (options.readoutGiven || options.intervalGiven))
        return QStringLiteral("--scan lists the modules' counts as they are: --scale, --offset, --decimals, "
                              "--unit, --low, --high, --deadband and --interval are for reading");
    return {};
}

} // namespace kvp
