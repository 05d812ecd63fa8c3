#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace kvp {

class ReadSession;

// A hidden mode for the benchmark: KVP_WINDOW_BENCH=N reads N values unpaced with
// the window up (and the trend open with KVP_WINDOW_BENCH_TREND=1), prints the
// rate and the peak RSS, and quits: what scripts/bench.sh compares.
class WindowBench : public QObject
{
    Q_OBJECT

public:
    // Does nothing unless the environment asks for it; `openTrend` opens the trend.
    WindowBench(ReadSession &session, std::function<void(bool)> openTrend, std::function<bool()> trendOpen,
                QObject *parent);
    // A value came.
    void counted();

private:
    ReadSession &m_session;
    std::function<bool()> m_trendOpen;
    qint64 m_values = 0;
    qint64 m_seen = 0;
    std::chrono::steady_clock::time_point m_start{};
};

} // namespace kvp
