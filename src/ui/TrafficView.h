#pragma once

#include "reader/CycleCounters.h"
#include "reader/TrafficRing.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QTableWidget;

namespace kvp {

// The line's traffic, for diagnosing it: the last commands and replies in hex, with
// their times and how each reply was judged, under the counts of the run. Not
// modal: reading goes on and the window stays usable while it is open.
class TrafficView : public QWidget
{
    Q_OBJECT

public:
    explicit TrafficView(const TrafficRing &ring, QWidget *parent = nullptr);

    // A new entry is in the ring; shown unless the view is paused or hidden.
    void entryAdded();
    void showCounts(const CycleCounters &counters, double valuesPerSecond);
    QTableWidget *table() const { return m_table; }

    // The words for a verdict, in the window's language.
    static QString kindText(TrafficEntry::Kind kind);
    // "53 30 3B", with what did not fit counted.
    static QString hexText(const TrafficEntry &entry);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refill();
    void addRow(const TrafficEntry &entry);
    void addPending();

    const TrafficRing &m_ring;
    QLabel *m_counts;
    QCheckBox *m_pause;
    QTableWidget *m_table;
    // Entries come as fast as the line goes; the list takes them a few times a second.
    QTimer m_batch;
    std::size_t m_shownAdded = 0; // ring.added() when the list was last brought up to date
};

} // namespace kvp
