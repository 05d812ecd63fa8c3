#pragma once

#include "Options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>

namespace kvp {

// The options that say how values are shown and how often they are asked for:
// --scale, --offset, --decimals, --unit, --low, --high, --deadband and --interval.
class ReadoutOptions
{
public:
    ReadoutOptions();

    QList<QCommandLineOption> options() const;
    // Reads them into `options`; the words of a usage error, empty when all is well.
    QString take(const QCommandLineParser &parser, Options &options) const;

private:
    QCommandLineOption m_scale;
    QCommandLineOption m_offset;
    QCommandLineOption m_decimals;
    QCommandLineOption m_unit;
    QCommandLineOption m_low;
    QCommandLineOption m_high;
    QCommandLineOption m_deadband;
    QCommandLineOption m_interval;
};

} // namespace kvp
