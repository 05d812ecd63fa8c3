#include "WindowBench.h"

#include "TrendChartLoader.h"

#include "app/ReadSession.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace kvp {
namespace {

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

WindowBench::WindowBench(ReadSession &session, std::function<void(bool)> openTrend, std::function<bool()> trendOpen,
                         QObject *parent)
    : QObject(parent), m_session(session), m_trendOpen(std::move(trendOpen))
{
    m_values = qEnvironmentVariableIntValue("KVP_WINDOW_BENCH");
    if (m_values <= 0)
        return;
    const bool trend = qEnvironmentVariableIntValue("KVP_WINDOW_BENCH_TREND") != 0;
    QTimer::singleShot(0, this, [this, trend, openTrend = std::move(openTrend)] {
        openTrend(trend);
        m_start = std::chrono::steady_clock::now();
        m_session.read();
    });
}

void WindowBench::counted()
{
    if (m_values <= 0 || ++m_seen != m_values)
        return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::printf("values %lld seconds %.3f rate %.1f peak_rss_kb %ld trend %s chart %s\n", static_cast<long long>(m_seen),
                seconds, m_seen / seconds, peakRssKb(), m_trendOpen() ? "open" : "closed",
                !TrendChartLoader::tried() ? "unused" : TrendChartLoader::factory() ? "loaded" : "missing");
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace kvp
