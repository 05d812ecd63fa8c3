#pragma once

#include "reader/CycleCounters.h"
#include "reader/TrafficRing.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QAction;
class QToolButton;
class QWidget;

namespace kvp {

class ReadSession;
class StatusRow;
class TrafficView;

// What the line is doing, on view: values per second, time-outs and bad check bytes
// on the status line while reading, and the traffic view (Ctrl+M) with the last
// commands and replies. The ring of entries is filled whether the view is open or
// not, so that it shows what led up to a fault.
class LineDetails : public QObject
{
    Q_OBJECT

public:
    LineDetails(QWidget &window, ReadSession &session, StatusRow *row);
    ~LineDetails() override;

    QAction *trafficAction() const { return m_action; }
    TrafficView *openTraffic();
    TrafficView *trafficView() const;
    const TrafficRing &ring() const { return m_ring; }
    QToolButton *countsButton() const { return m_counts; }
    // Reads the counts now rather than at the next tick.
    void update() { update(Clock::now()); }
    // As of `now`, so that a test can say how fast values came.
    void update(TimePoint now);

private:
    QWidget &m_window;
    ReadSession &m_session;
    TrafficRing m_ring;
    QPointer<TrafficView> m_view;
    QAction *m_action;
    QToolButton *m_counts;
    QTimer m_tick;
    std::uint64_t m_lastGood = 0;
    TimePoint m_lastAt{};
    double m_rate = 0;
};

} // namespace kvp
