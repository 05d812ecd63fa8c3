#pragma once

#include "trend/TrendSeries.h"

#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace kvp {

// The trend below the window's controls: the values of the last span (60 s unless
// the user picks another, 10 s to 1 h), their min, max, mean and rate, and a gap
// where the value was stale.
//
// It never holds the reader up: values only go into the bounded TrendSeries, and
// the chart is drawn from one min/max column per pixel at most 20 times a second,
// only while it is visible and not paused.
class TrendPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 232;
    static constexpr int kRedrawMs = 50;
    // Drawing may take one part in this many of the time, however slow it is.
    static constexpr int kDrawShare = 50;
    // ...but a chart that is open is redrawn at least once a second.
    static constexpr int kSlowestRedrawMs = 1000;

    explicit TrendPanel(QWidget *parent = nullptr);
    ~TrendPanel() override;

    // Every good value, as it is shown.
    void addValue(TrendSeries::TimePoint t, std::int32_t value);
    // Whether the value on display is stale from `t` on.
    void setStale(bool stale, TrendSeries::TimePoint t);

    void setSpan(TrendSeries::Duration span);
    TrendSeries::Duration span() const { return m_span; }
    void setPaused(bool paused);
    bool paused() const { return m_paused; }

    // Draws the span now; the timer calls it while the panel is open and running.
    void redraw();

    // Empty when saved, else the reason it could not be.
    QString savePng(const QString &path);
    QString saveCsv(const QString &path);

    // What the last redraw showed, and how often the chart was redrawn.
    const TrendStats &shownStats() const { return m_stats; }
    const std::vector<TrendColumn> &shownColumns() const { return m_columns; }
    int shownSegments() const { return m_segmentsUsed; }
    int redraws() const { return m_redraws; }
    const TrendSeries &series() const { return m_series; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void drawNow();
    void noteStaleUntil(TrendSeries::TimePoint t);
    TrendSeries::TimePoint shownEnd() const;
    void chooseAndSave(bool png);
    void updateTimer();

    TrendSeries m_series;
    TrendSeries::Duration m_span = TrendSeries::kDefaultSpan;
    std::optional<TrendSeries::TimePoint> m_staleSince;
    bool m_paused = false;
    TrendSeries::TimePoint m_pausedAt{};
    QTimer m_redrawTimer;
    int m_redraws = 0;

    QComboBox *m_spanBox = nullptr;
    QPushButton *m_pause = nullptr;
    QLabel *m_statsLabel = nullptr;
    QChart *m_chart = nullptr;
    QChartView *m_view = nullptr;
    QValueAxis *m_timeAxis = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    // A gap breaks the line: each run of columns between gaps is a series of its own.
    std::vector<QLineSeries *> m_segments;
    int m_segmentsUsed = 0;
    std::vector<TrendColumn> m_columns;
    TrendStats m_stats;
};

} // namespace kvp
