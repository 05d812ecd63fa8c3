#include "TrendPanel.h"

#include <QElapsedTimer>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kvp {
namespace {

using namespace std::chrono_literals;

struct SpanChoice {
    const char *label;
    TrendSeries::Duration span;
};

const SpanChoice kSpans[] = {
    {QT_TRANSLATE_NOOP("kvp", "10 秒"), 10s},   {QT_TRANSLATE_NOOP("kvp", "30 秒"), 30s},
    {QT_TRANSLATE_NOOP("kvp", "1 分钟"), 60s},  {QT_TRANSLATE_NOOP("kvp", "5 分钟"), 300s},
    {QT_TRANSLATE_NOOP("kvp", "10 分钟"), 600s}, {QT_TRANSLATE_NOOP("kvp", "30 分钟"), 1800s},
    {QT_TRANSLATE_NOOP("kvp", "1 小时"), 3600s},
};

// More gaps than this in one span are drawn bridged after the last: a line that
// flickers between live and stale would otherwise cost a series per flicker.
constexpr int kMostSegments = 64;

double seconds(TrendSeries::Duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

TrendPanel::TrendPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TrendPanel"));
    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("TrendSpan"));
    for (const SpanChoice &choice : kSpans)
        m_spanBox->addItem(QCoreApplication::translate("kvp", choice.label), QVariant::fromValue<qint64>(std::chrono::nanoseconds(choice.span).count()));
    m_spanBox->setCurrentIndex(2);
    m_spanBox->setToolTip(tr("显示的时间跨度"));
    connect(m_spanBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            setSpan(kSpans[index].span);
    });

    m_pause = new QPushButton(tr("暂停"), this);
    m_pause->setObjectName(QStringLiteral("TrendPause"));
    m_pause->setCheckable(true);
    m_pause->setToolTip(tr("冻结图形; 读取继续"));
    connect(m_pause, &QPushButton::toggled, this, &TrendPanel::setPaused);
    auto *png = new QPushButton(tr("保存 PNG…"), this);
    png->setToolTip(tr("把显示的跨度保存为图片"));
    connect(png, &QPushButton::clicked, this, [this] { chooseAndSave(true); });
    auto *csv = new QPushButton(tr("保存 CSV…"), this);
    csv->setToolTip(tr("把显示的跨度保存为 CSV: 每段的最小值, 最大值, 平均值和个数"));
    connect(csv, &QPushButton::clicked, this, [this] { chooseAndSave(false); });

    m_statsLabel = new QLabel(this);
    m_statsLabel->setObjectName(QStringLiteral("TrendStats"));

    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    m_chart->setBackgroundRoundness(0);
    m_timeAxis = new QValueAxis(m_chart);
    m_timeAxis->setLabelFormat(QStringLiteral("%g"));
    m_timeAxis->setTickCount(7);
    m_valueAxis = new QValueAxis(m_chart);
    m_valueAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    QFont small = font();
    small.setPointSizeF(7);
    m_timeAxis->setLabelsFont(small);
    m_valueAxis->setLabelsFont(small);
    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("TrendChart"));
    m_view->setRenderHint(QPainter::Antialiasing, false); // cheaper, and crisp per pixel column

    auto *top = new QHBoxLayout;
    top->addWidget(m_spanBox);
    top->addWidget(m_pause);
    top->addStretch();
    top->addWidget(png);
    top->addWidget(csv);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_statsLabel);

    m_redrawTimer.setInterval(kRedrawMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &TrendPanel::redraw);
}

TrendPanel::~TrendPanel() = default;

void TrendPanel::addValue(TrendSeries::TimePoint t, std::int32_t value)
{
    m_series.add(t, value);
}

void TrendPanel::setStale(bool stale, TrendSeries::TimePoint t)
{
    if (stale && !m_staleSince) {
        m_staleSince = t;
    } else if (!stale && m_staleSince) {
        noteStaleUntil(t);
        m_staleSince.reset();
    }
}

void TrendPanel::noteStaleUntil(TrendSeries::TimePoint t)
{
    // Marked in pieces while it lasts, so a redraw shows the gap growing.
    if (m_staleSince && t > *m_staleSince) {
        m_series.markStale(*m_staleSince, t);
        m_staleSince = t;
    }
}

void TrendPanel::setSpan(TrendSeries::Duration span)
{
    m_span = std::clamp(span, TrendSeries::kShortestSpan, TrendSeries::kLongestSpan);
    for (int i = 0; i < static_cast<int>(std::size(kSpans)); ++i)
        if (kSpans[i].span == m_span && m_spanBox->currentIndex() != i)
            m_spanBox->setCurrentIndex(i);
    redraw();
}

void TrendPanel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused)
        m_pausedAt = TrendSeries::Clock::now();
    m_pause->setChecked(paused);
    m_pause->setText(paused ? tr("继续") : tr("暂停"));
    redraw(); // once more, at the moment of the pause
    updateTimer();
}

TrendSeries::TimePoint TrendPanel::shownEnd() const
{
    return m_paused ? m_pausedAt : TrendSeries::Clock::now();
}

void TrendPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    redraw();
    updateTimer();
}

void TrendPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateTimer();
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
    if (m_view->isVisible())
        m_view->viewport()->repaint();
    const qint64 spent = cost.elapsed();
    m_redrawTimer.setInterval(static_cast<int>(std::clamp<qint64>(spent * kDrawShare, kRedrawMs, kSlowestRedrawMs)));
}

void TrendPanel::drawNow()
{
    const auto end = shownEnd();
    if (!m_paused)
        noteStaleUntil(end);
    ++m_redraws;
    const int width = std::max(1, static_cast<int>(m_chart->plotArea().width()));
    m_columns = m_series.columns(end, m_span, width);
    m_stats = m_series.stats(end, m_span);

    // One vertical stroke per column, from its min to its max, joined to the next;
    // a gap starts a new series, so no line crosses it.
    const double spanSeconds = seconds(m_span);
    const double step = spanSeconds / static_cast<double>(m_columns.size());
    std::vector<QList<QPointF>> runs(1);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const TrendColumn &c = m_columns[i];
        if (c.gap()) {
            if (!runs.back().isEmpty() && static_cast<int>(runs.size()) < kMostSegments)
                runs.emplace_back();
            continue;
        }
        if (c.count == 0)
            continue; // merely empty: the line bridges it
        const double x = -spanSeconds + (static_cast<double>(i) + 0.5) * step;
        runs.back().append(QPointF(x, c.min));
        if (c.max != c.min)
            runs.back().append(QPointF(x, c.max));
    }
    while (m_segments.size() < runs.size()) {
        auto *line = new QLineSeries(m_chart);
        line->setPen(QPen(QColor(0x00, 0x00, 0xFF), 1));
        m_chart->addSeries(line);
        line->attachAxis(m_timeAxis);
        line->attachAxis(m_valueAxis);
        m_segments.push_back(line);
    }
    m_segmentsUsed = 0;
    for (std::size_t k = 0; k < m_segments.size(); ++k) {
        if (k < runs.size() && !runs[k].isEmpty()) {
            m_segments[k]->replace(runs[k]);
            ++m_segmentsUsed;
        } else if (m_segments[k]->count() > 0) {
            m_segments[k]->clear();
        }
    }

    m_timeAxis->setRange(-spanSeconds, 0);
    if (m_stats.count > 0) {
        const double pad = std::max(1.0, (static_cast<double>(m_stats.max) - m_stats.min) * 0.05);
        m_valueAxis->setRange(m_stats.min - pad, m_stats.max + pad);
        m_statsLabel->setText(tr("最小 %1   最大 %2   平均 %3   速率 %4 次/秒")
                                  .arg(m_stats.min)
                                  .arg(m_stats.max)
                                  .arg(m_stats.mean, 0, 'f', 1)
                                  .arg(m_stats.rate, 0, 'f', 1));
    } else {
        m_statsLabel->setText(tr("这段时间内没有数值"));
    }
}

QString TrendPanel::savePng(const QString &path)
{
    // Through a file of ours, so that the reason of a failure is known.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    if (!m_view->grab().save(&file, "PNG") || !file.flush())
        return file.error() != QFileDevice::NoError ? file.errorString() : tr("PNG 图片无法生成");
    return {};
}

QString TrendPanel::saveCsv(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    // The chart's steady clock, turned into the wall-clock time of the value log.
    const auto steadyNow = TrendSeries::Clock::now();
    const QDateTime wallNow = QDateTime::currentDateTime();
    const auto timeText = [&](TrendSeries::TimePoint t) {
        const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - t);
        QDateTime at = wallNow.addMSecs(-ago.count());
        at.setOffsetFromUtc(at.offsetFromUtc());
        return at.toString(Qt::ISODateWithMs).toStdString();
    };
    const std::string text = m_series.csv(shownEnd(), m_span, timeText);
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.flush())
        return file.errorString();
    return {};
}

void TrendPanel::chooseAndSave(bool png)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = QFileDialog::getSaveFileName(
        this, png ? tr("保存趋势图") : tr("保存趋势数据"),
        QStringLiteral("kvp-trend-%1.%2").arg(stamp, png ? QStringLiteral("png") : QStringLiteral("csv")),
        png ? tr("PNG 图片 (*.png)") : tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    if (const QString reason = png ? savePng(path) : saveCsv(path); !reason.isEmpty())
        QMessageBox::warning(this, window()->windowTitle(), tr("无法保存 %1 (%2). 请选择另一个文件.").arg(path, reason));
}

} // namespace kvp
