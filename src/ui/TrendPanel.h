#pragma once

#include "TrendColours.h"
#include "TrendPicture.h"

#include "reader/EngineeringUnits.h"

#include "trend/TrendAxis.h"
#include "trend/TrendStore.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QStackedLayout;

namespace kvp {

class TrendChart;
class TrendControls;

// The trend below the window's controls: the values of the last span (60 s unless
// the user picks another, 10 s to 1 h) of every module the window follows, one
// line each (or the module in the address box alone), their min, max, mean and
// rate, and a gap where a module's value was stale.
//
// It never holds the reader up: values only go into the bounded TrendStore, and
// the chart is drawn from one min/max column per pixel at most 20 times a second,
// only while it is visible and not paused. The chart itself comes from a library
// loaded the first time the panel is shown (TrendChartLoader).
class TrendPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 232;
    // What the panel shrinks to on a short screen (a high scale factor) at most.
    static constexpr int kMinHeight = 150;
    static constexpr int kRedrawMs = 50;
    // Drawing may take one part in this many of the time, however slow it is.
    static constexpr int kDrawShare = 50;
    // ...but a chart that is open is redrawn at least once a second.
    static constexpr int kSlowestRedrawMs = 1000;
    // The saved picture: this wide, and about this high.
    static constexpr int kPngWidth = 1200;
    static constexpr int kPngHeight = 600;

    using TimePoint = TrendSeries::TimePoint;

    explicit TrendPanel(QWidget *parent = nullptr);
    ~TrendPanel() override;

    // The modules to keep a trend of (the list of modules on the line) and the one
    // in the address box, which "this module" shows; modules not named lose theirs.
    void follow(const std::vector<int> &addresses, std::optional<int> current);
    std::optional<int> current() const { return m_current; }
    // Every good value of a module followed.
    void addValue(int address, TimePoint t, std::int32_t value);
    // Whether a module's value is stale from `t` on.
    void setStale(int address, bool stale, TimePoint t);

    // Every module followed, one line each, or the box's module alone.
    void setAllModules(bool all);
    bool allModules() const { return m_all; }
    void setSpan(TrendSeries::Duration span);
    TrendSeries::Duration span() const { return m_span; }
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // How a module's counts are shown, exactly as the value shows them. The chart, its
    // axis title, the figures, the caption and the CSV follow it.
    using Readout = EngineeringUnits;
    void setReadouts(std::function<Readout(int address)> of);
    // The unit of modules without a readout of their own; empty: plain values.
    void setUnit(const QString &unit);
    QString unit() const { return m_unit; }
    // The port named in a saved picture's caption.
    void setPortSource(std::function<QString()> port) { m_port = std::move(port); }

    // Draws the span now; the timer calls it while the panel is open and running.
    void redraw();

    // Empty when saved, else the reason it could not be.
    QString savePng(const QString &path);
    QString saveCsv(const QString &path);
    // The lines above a saved picture: port, addresses, span and time, then one
    // line per module shown with its min, max and mean; `stats`, when given, are
    // those of the modules shown, in their order, as pictureOf() found them.
    QStringList caption(const QDateTime &at, const std::vector<TrendStats> *stats = nullptr) const;

    // What the last redraw showed, and how often the chart was redrawn.
    const TrendPicture &shownPicture() const { return m_picture; }
    // Of the module in the address box.
    const TrendStats &shownStats() const { return m_stats; }
    const std::vector<TrendColumn> &shownColumns() const { return m_columns; }
    // Runs of line drawn, over all lines: one more for each gap.
    int shownSegments() const;
    int redraws() const { return m_redraws; }
    const TrendStore &store() const { return m_store; }
    // Why there is no chart; empty while there is one or none was asked for yet.
    QString chartError() const { return m_chartError; }

signals:
    // The chart library cannot be loaded; the message says so and what to do.
    void chartUnavailable(const QString &message);
    // The user chose another span, or all modules or one.
    void choiceChanged();
    // The picture or the data could not be saved to `file`, for `reason`.
    void saveFailed(const QString &file, const QString &reason);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool ensureChart();
    void drawNow();
    TrendPicture pictureOf(TimePoint end, int width, std::vector<TrendStats> *stats);
    std::vector<int> shownAddresses() const;
    Readout readoutOf(int address) const;
    TimePoint shownEnd() const;
    void updateTimer();
    void showLegend();

    TrendStore m_store;
    std::optional<int> m_current;
    bool m_all = true;
    TrendSeries::Duration m_span = TrendSeries::kDefaultSpan;
    bool m_paused = false;
    TimePoint m_pausedAt{};
    QString m_unit;
    std::function<Readout(int)> m_readouts;
    std::function<QString()> m_port;
    QTimer m_redrawTimer;
    int m_redraws = 0;
    TrendAxis m_valueAxis;
    TrendColours m_colours;

    TrendControls *m_controls = nullptr;
    QLabel *m_statsLabel = nullptr;
    QLabel *m_legend = nullptr;
    QLabel *m_missing = nullptr;
    QStackedLayout *m_chartPlace = nullptr;
    std::unique_ptr<TrendChart> m_chart;
    QString m_chartError;
    TrendPicture m_picture;
    std::vector<TrendColumn> m_columns;
    TrendStats m_stats;
};

} // namespace kvp
