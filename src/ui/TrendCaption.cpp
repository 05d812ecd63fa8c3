#include "TrendCaption.h"

#include "trend/TrendFigures.h"

namespace kvp {

QString TrendCaption::figures(const TrendStats &s, const EngineeringUnits &units)
{
    const TrendFigures f(units);
    return tr("最小 %1   最大 %2   平均 %3")
        .arg(QString::fromStdString(f.min(s)), QString::fromStdString(f.max(s)), QString::fromStdString(f.mean(s)));
}

QString TrendCaption::summary(const TrendStats &s, const EngineeringUnits &units, std::optional<int> address)
{
    const QString who = address ? tr("地址 %1: ").arg(*address) : QString();
    if (s.count == 0)
        return who + tr("这段时间内没有数值");
    return who + figures(s, units) + tr("   速率 %1 次/秒").arg(s.rate, 0, 'f', 1);
}

QString TrendCaption::legend(const TrendPicture &picture)
{
    QStringList marks;
    for (const TrendPicture::Line &line : picture.lines)
        marks << QStringLiteral("<span style=\"color:%1\">■</span>&nbsp;%2").arg(line.colour.name()).arg(line.address);
    return marks.join(QStringLiteral("&nbsp;&nbsp; "));
}

QStringList TrendCaption::lines(const QString &port, const std::vector<int> &shown, const QString &span,
                                const QDateTime &at, const std::vector<TrendStats> &stats,
                                const std::function<EngineeringUnits(int)> &unitsOf)
{
    QStringList addresses;
    for (const int a : shown)
        addresses << QString::number(a);
    QStringList out{tr("端口 %1   地址 %2   跨度 %3   %4")
                        .arg(port.isEmpty() ? tr("(无)") : port,
                             addresses.isEmpty() ? tr("(无)") : addresses.join(QStringLiteral(", ")), span,
                             at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const TrendStats &s = stats[i];
        out << tr("地址 %1: %2").arg(shown[i]).arg(s.count > 0 ? figures(s, unitsOf(shown[i])) : tr("没有数值"));
    }
    return out;
}

} // namespace kvp
