#include "TrendPanel.h"

#include "ElidedLabel.h"
#include "TrendCaption.h"
#include "TrendChart.h"
#include "TrendChartLoader.h"
#include "TrendControls.h"
#include "TrendExport.h"
#include "TrendLines.h"

#include "trend/TrendFigures.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace kvp {
namespace {

// The chart's description for a screen reader names the first modules only.
constexpr int kDescribedModules = 8;

// A panel less high than this (a short screen) leaves its chart no room for the
// time axis's title, nor for more than a few value ticks.
constexpr int kSqueezedPanel = 200;

double seconds(TrendSeries::Duration d)
{
    return std::chrono::duration<double>(d).count();
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < 128;
}

} // namespace

TrendPanel::TrendPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TrendPanel"));
    m_controls = new TrendControls(this);
    connect(m_controls, &TrendControls::spanChosen, this, [this](TrendSeries::Duration span) {
        setSpan(span);
        emit choiceChanged();
    });
    connect(m_controls, &TrendControls::allModulesChosen, this, [this](bool all) {
        setAllModules(all);
        emit choiceChanged();
    });
    connect(m_controls, &TrendControls::pauseToggled, this, &TrendPanel::setPaused);
    const auto failed = [this](const QString &file, const QString &reason) { emit saveFailed(file, reason); };
    connect(m_controls, &TrendControls::savePngAsked, this, [this, failed] {
        TrendExport::chooseAndSave(this, true, [this](const QString &path) { return savePng(path); }, failed);
    });
    connect(m_controls, &TrendControls::saveCsvAsked, this, [this, failed] {
        TrendExport::chooseAndSave(this, false, [this](const QString &path) { return saveCsv(path); }, failed);
    });

    // At the form's width a bus's figures are longer than the panel: they end in "…"
    // instead of being cut off mid-number, and hovering shows them whole.
    m_statsLabel = new ElidedLabel(this);
    m_statsLabel->setObjectName(QStringLiteral("TrendStats"));
    m_legend = new QLabel(this);
    m_legend->setObjectName(QStringLiteral("TrendLegend"));
    m_legend->setTextFormat(Qt::RichText);
    m_legend->hide();
    m_missing = new QLabel(this);
    m_missing->setObjectName(QStringLiteral("TrendChartMissing"));
    m_missing->setWordWrap(true);
    m_missing->setAlignment(Qt::AlignCenter);

    m_chartPlace = new QStackedLayout;
    m_chartPlace->addWidget(m_missing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(m_controls);
    layout->addLayout(m_chartPlace, 1);
    layout->addWidget(m_legend);
    layout->addWidget(m_statsLabel);

    m_redrawTimer.setInterval(kRedrawMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &TrendPanel::redraw);
}

TrendPanel::~TrendPanel() = default;

bool TrendPanel::ensureChart()
{
    if (m_chart)
        return true;
    if (!m_chartError.isEmpty())
        return false;
    TrendChartFactory *factory = TrendChartLoader::factory();
    if (!factory) {
        m_chartError = tr("趋势图无法显示: 无法加载 %1 (%2). 请重新安装 kvp-reader.")
                           .arg(TrendChartLoader::path(), TrendChartLoader::error());
        m_missing->setText(m_chartError);
        emit chartUnavailable(m_chartError);
        return false;
    }
    m_chart = factory->create(this);
    m_chart->widget()->setObjectName(QStringLiteral("TrendChart"));
    // A screen reader hears what the eye reads off the chart: its span and figures.
    m_chart->widget()->setAccessibleName(tr("趋势图"));
    m_chartPlace->addWidget(m_chart->widget());
    m_chartPlace->setCurrentWidget(m_chart->widget());
    return true;
}

void TrendPanel::follow(const std::vector<int> &addresses, std::optional<int> current)
{
    std::vector<int> all = addresses;
    if (current)
        all.push_back(*current);
    m_store.follow(all);
    m_colours.follow(m_store.addresses());
    if (current != m_current)
        m_valueAxis.reset(); // another module's values: a range of their own
    m_current = current && m_store.follows(*current) ? current : std::nullopt;
}

void TrendPanel::addValue(int address, TimePoint t, std::int32_t value)
{
    m_store.add(address, t, value);
}

void TrendPanel::setStale(int address, bool stale, TimePoint t)
{
    m_store.setStale(address, stale, t);
}

void TrendPanel::setAllModules(bool all)
{
    m_controls->showAllModules(all);
    if (all == m_all)
        return;
    m_all = all;
    m_valueAxis.reset();
    redraw();
}

void TrendPanel::setSpan(TrendSeries::Duration span)
{
    m_span = TrendControls::nearestSpan(span);
    m_controls->showSpan(m_span);
    redraw();
}

void TrendPanel::setUnit(const QString &unit)
{
    m_unit = unit;
    redraw();
}

void TrendPanel::setReadouts(std::function<Readout(int address)> of)
{
    m_readouts = std::move(of);
    m_valueAxis.reset(); // other numbers: the range starts afresh
    redraw();
}

TrendPanel::Readout TrendPanel::readoutOf(int address) const
{
    if (m_readouts)
        return m_readouts(address);
    Readout plain;
    plain.unit = m_unit.toStdString();
    return plain;
}

void TrendPanel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused)
        m_pausedAt = TrendSeries::Clock::now();
    m_controls->showPaused(paused);
    redraw(); // once more, at the moment of the pause
    updateTimer();
}

TrendPanel::TimePoint TrendPanel::shownEnd() const
{
    return m_paused ? m_pausedAt : TrendSeries::Clock::now();
}

void TrendPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ensureChart();
    redraw();
    updateTimer();
}

void TrendPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateTimer();
}

void TrendPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && isVisible())
        redraw(); // the chart and the legend follow a theme switched meanwhile
}

void TrendPanel::updateTimer()
{
    if (isVisible() && !m_paused)
        m_redrawTimer.start();
    else
        m_redrawTimer.stop();
}

void TrendPanel::redraw()
{
    QElapsedTimer cost;
    cost.start();
    drawNow();
    // The chart is drawn on the thread that reads. Paint it now, time it, and wait
    // long enough before the next redraw that drawing takes at most a fiftieth of
    // the time: on a slow or busy machine the chart updates less often, reading
    // keeps its pace.
    if (m_chart && m_chart->widget()->isVisible())
        m_chart->widget()->repaint();
    const qint64 spent = cost.elapsed();
    m_redrawTimer.setInterval(static_cast<int>(std::clamp<qint64>(spent * kDrawShare, kRedrawMs, kSlowestRedrawMs)));
}

std::vector<int> TrendPanel::shownAddresses() const
{
    if (m_all)
        return m_store.addresses();
    if (m_current)
        return {*m_current};
    return {};
}

TrendPicture TrendPanel::pictureOf(TimePoint end, int width, std::vector<TrendStats> *stats)
{
    TrendPicture picture;
    const QPalette &pal = palette();
    picture.dark = isDark(pal);
    picture.background = pal.color(QPalette::Base);
    picture.text = pal.color(QPalette::Text);
    picture.grid = pal.color(QPalette::Mid);
    const double spanSeconds = seconds(m_span);
    picture.time = {-spanSeconds, 0.0, TrendAxis::timeStep(spanSeconds)};
    // A chart squeezed by a short screen keeps its tick labels rather than the
    // line under them that says "seconds" (the labels are seconds either way).
    const bool squeezed = height() < kSqueezedPanel;
    picture.timeTitle = squeezed ? QString() : tr("时间 (秒)");

    std::optional<double> low, high;
    std::optional<QString> unit; // of every line drawn, when they share one
    bool units = true;
    for (const int address : shownAddresses()) {
        const TrendSeries *series = m_store.series(address);
        if (!series) {
            if (stats)
                stats->push_back({}); // in step with shownAddresses()
            continue;
        }
        const TrendFigures figures(readoutOf(address));
        const QString lineUnit = QString::fromStdString(figures.units().unit);
        if (unit && *unit != lineUnit)
            units = false;
        unit = lineUnit;
        const std::vector<TrendColumn> columns = series->columns(end, m_span, width);
        const TrendStats s = series->stats(end, m_span);
        if (s.count > 0) {
            // The values shown, not the counts scaled anew; a negative scale turns the
            // smallest count into the largest value.
            const double a = figures.value(s.min), b = figures.value(s.max);
            low = std::min(low.value_or(std::min(a, b)), std::min(a, b));
            high = std::max(high.value_or(std::max(a, b)), std::max(a, b));
        }
        if (stats)
            stats->push_back(s);
        if (address == m_current) {
            m_columns = columns;
            m_stats = s;
        }
        // Kept by address: a module keeps its colour whoever joins or leaves.
        picture.lines.append({address, m_colours.of(address, picture.dark),
                              TrendLines::runs(columns, spanSeconds,
                                               [&figures](std::int32_t count) { return figures.value(count); })});
    }
    // Lines in different units share no axis title but "value".
    picture.valueTitle = units && unit && !unit->isEmpty() ? tr("数值 (%1)").arg(*unit)
                         : !unit && !m_unit.isEmpty()     ? tr("数值 (%1)").arg(m_unit)
                                                          : tr("数值");
    // Squeezed, fewer ticks, so that their labels still fit between them.
    const int intervals = squeezed ? 2 : TrendAxis::kIntervals;
    picture.value = low ? m_valueAxis.fit(*low, *high, intervals) : TrendAxis::niceRange(0, 1, intervals);
    picture.valueDecimals = TrendAxis::decimalsFor(picture.value.step);
    return picture;
}

int TrendPanel::shownSegments() const
{
    int n = 0;
    for (const TrendPicture::Line &line : m_picture.lines)
        n += static_cast<int>(line.runs.size());
    return n;
}

void TrendPanel::drawNow()
{
    const auto end = shownEnd();
    if (!m_paused)
        m_store.markStaleUntil(end);
    ++m_redraws;
    m_columns.clear();
    m_stats = {};
    const int width = std::max(1, m_chart ? m_chart->plotWidth() : this->width() - 60);
    std::vector<TrendStats> stats;
    m_picture = pictureOf(end, width, &stats);
    if (m_chart)
        m_chart->draw(m_picture);
    showLegend();

    if (m_chart) {
        const QString description =
            caption(QDateTime::currentDateTime(), &stats).mid(0, 1 + kDescribedModules).join(QLatin1Char('\n'));
        if (m_chart->widget()->accessibleDescription() != description)
            m_chart->widget()->setAccessibleDescription(description);
    }

    const bool several = m_store.addresses().size() > 1;
    const QString figures =
        TrendCaption::summary(m_stats, readoutOf(m_current.value_or(0)), several ? m_current : std::nullopt);
    if (figures != m_statsLabel->text()) {
        m_statsLabel->setText(figures);
        m_statsLabel->setToolTip(figures);
    }
}

void TrendPanel::showLegend()
{
    // Only when it tells lines apart; a row of small marks that the panel clips.
    if (m_picture.lines.size() < 2) {
        m_legend->hide();
        return;
    }
    const QString text = TrendCaption::legend(m_picture);
    if (m_legend->text() != text) {
        m_legend->setText(text);
        m_legend->setToolTip(tr("地址及其线条的颜色"));
    }
    m_legend->show();
}

QStringList TrendPanel::caption(const QDateTime &at, const std::vector<TrendStats> *stats) const
{
    const std::vector<int> shown = shownAddresses();
    std::vector<TrendStats> found;
    if (!stats) {
        const auto end = shownEnd();
        for (const int a : shown) {
            const TrendSeries *series = m_store.series(a);
            found.push_back(series ? series->stats(end, m_span) : TrendStats{});
        }
    }
    return TrendCaption::lines(m_port ? m_port() : QString(), shown, TrendControls::spanText(m_span), at,
                               stats ? *stats : found, [this](int address) { return readoutOf(address); });
}

QString TrendPanel::savePng(const QString &path)
{
    return TrendExport::savePng(path, [this](QString &reason) {
        if (!ensureChart()) {
            reason = m_chartError;
            return QImage();
        }
        std::vector<TrendStats> stats;
        const TrendPicture picture = pictureOf(shownEnd(), kPngWidth - 100, &stats);
        QFont font = this->font();
        font.setPointSizeF(11);
        return TrendExport::picture(caption(QDateTime::currentDateTime(), &stats), picture, font, kPngWidth,
                                    kPngHeight, [&](QSize size) { return m_chart->image(picture, size); });
    });
}

QString TrendPanel::saveCsv(const QString &path)
{
    return TrendExport::saveCsv(path, TrendExport::csv(m_store, shownAddresses(), shownEnd(), m_span,
                                                       [this](int address) { return readoutOf(address); }));
}

} // namespace kvp
