#include "ReadoutOptions.h"

#include <algorithm>

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
              QStringLiteral("Show each value as the module's count times F, plus --offset (default 1)."),
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
      m_interval(QStringLiteral("interval"),
                 QStringLiteral("Ask for a value no sooner than MS milliseconds after the one before, 0 to %1 "
                                "(default 0: as soon as the module answers).")
                     .arg(CycleSettings::kLongestPollInterval.count()),
                 QStringLiteral("MS"))
{
}

QList<QCommandLineOption> ReadoutOptions::options() const
{
    return {m_scale, m_offset, m_decimals, m_unit, m_low, m_high, m_interval};
}

QString ReadoutOptions::take(const QCommandLineParser &parser, Options &options) const
{
    ReadoutSettings &readout = options.readout;
    if (parser.isSet(m_scale)) {
        const auto scale = number(parser.value(m_scale));
        if (!scale)
            return notANumber(QStringLiteral("scale"), parser.value(m_scale));
        if (scale->mantissa == 0)
            return QStringLiteral("--scale 0 would show every value as the offset; give the module's factor, "
                                  "e.g. 0.001");
        readout.units.scale = *scale;
    }
    if (parser.isSet(m_offset)) {
        const auto offset = number(parser.value(m_offset));
        if (!offset)
            return notANumber(QStringLiteral("offset"), parser.value(m_offset));
        readout.units.offset = *offset;
    }
    if (parser.isSet(m_decimals)) {
        bool ok = false;
        const int decimals = parser.value(m_decimals).toInt(&ok);
        if (!ok || decimals < 0 || decimals > EngineeringUnits::kMostDecimals)
            return QStringLiteral("--decimals must be a whole number from 0 to %1, not '%2'")
                .arg(EngineeringUnits::kMostDecimals).arg(parser.value(m_decimals));
        readout.units.decimals = decimals;
    }
    if (parser.isSet(m_unit)) {
        const QString unit = parser.value(m_unit);
        if (std::any_of(unit.begin(), unit.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
            return QStringLiteral("--unit must be printable text, such as kg or °C (no line breaks or tabs)");
        readout.units.unit = unit.toStdString();
    }
    for (const auto &[option, limit] : {std::pair{&m_low, &readout.limits.low}, std::pair{&m_high, &readout.limits.high}}) {
        if (!parser.isSet(*option))
            continue;
        *limit = number(parser.value(*option));
        if (!*limit)
            return notANumber(option->names().first(), parser.value(*option));
    }
    if (!readout.limits.valid())
        return QStringLiteral("--low %1 is above --high %2: every value would be out of limits")
            .arg(QString::fromStdString(readout.limits.low->text()), QString::fromStdString(readout.limits.high->text()));
    if (parser.isSet(m_interval)) {
        bool ok = false;
        const int ms = parser.value(m_interval).toInt(&ok);
        if (!ok || ms < 0 || ms > CycleSettings::kLongestPollInterval.count())
            return QStringLiteral("--interval must be a number of milliseconds from 0 to %1, not '%2'")
                .arg(CycleSettings::kLongestPollInterval.count()).arg(parser.value(m_interval));
        options.intervalMs = ms;
        options.intervalGiven = true;
    }
    options.readoutGiven = false;
    for (const QCommandLineOption &o : {m_scale, m_offset, m_decimals, m_unit, m_low, m_high})
        options.readoutGiven = options.readoutGiven || parser.isSet(o);
    if (options.scan && (options.readoutGiven || options.intervalGiven))
        return QStringLiteral("--scan lists the modules' counts as they are: --scale, --offset, --decimals, "
                              "--unit, --low, --high and --interval are for reading");
    return {};
}

} // namespace kvp
