#include "TrendPanel.h"

#include "TrendChart.h"
#include "TrendChartLoader.h"
#include "app/LastFolder.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace kvp {
namespace {

// The chart's description for a screen reader names the first modules only.
constexpr int kDescribedModules = 8;

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

// More gaps than this in one line and span are drawn bridged after the last: a line
// that flickers between live and stale would otherwise cost a series per flicker.
constexpr int kMostSegments = 64;

// A panel less high than this (a short screen) leaves its chart no room for the
// time axis's title, nor for more than a few value ticks.
constexpr int kSqueezedPanel = 200;

// Told apart on a light background; on a dark one the same hues, lightened. The
// first is the blue the trend always had, so one module looks as it did.
constexpr std::array<QRgb, 10> kLineColours{0x0000ff, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd,
                                            0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};

double seconds(TrendSeries::Duration d)
{
    return std::chrono::duration<double>(d).count();
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < 128;
}

// Runs of points from columns: one vertical stroke per column from min to max,
// joined to the next; a gap starts a new run, so no line crosses it.
QList<QList<QPointF>> runsOf(const std::vector<TrendColumn> &columns, double spanSeconds)
{
    QList<QList<QPointF>> runs(1);
    const double step = spanSeconds / static_cast<double>(std::max<std::size_t>(columns.size(), 1));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const TrendColumn &c = columns[i];
        if (c.gap()) {
            if (!runs.back().isEmpty() && runs.size() < kMostSegments)
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
    if (runs.back().isEmpty())
        runs.removeLast();
    return runs;
}

} // namespace

TrendPanel::TrendPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TrendPanel"));
    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("TrendSpan"));
    for (const SpanChoice &choice : kSpans)
        m_spanBox->addItem(QCoreApplication::translate("kvp", choice.label));
    m_spanBox->setCurrentIndex(2);
    m_spanBox->setToolTip(tr("显示的时间跨度"));
    connect(m_spanBox, &QComboBox::activated, this, [this](int index) {
        setSpan(kSpans[index].span);
        emit choiceChanged();
    });
    m_modulesBox = new QComboBox(this);
    m_modulesBox->setObjectName(QStringLiteral("TrendModules"));
    m_modulesBox->addItem(tr("全部模块"));
    m_modulesBox->addItem(tr("此模块"));
    m_modulesBox->setToolTip(tr("模块列表中每个模块一条线, 或只显示地址框中的模块"));
    connect(m_modulesBox, &QComboBox::activated, this, [this](int index) {
        setAllModules(index == 0);
        emit choiceChanged();
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
    m_legend = new QLabel(this);
    m_legend->setObjectName(QStringLiteral("TrendLegend"));
    m_legend->setTextFormat(Qt::RichText);
    m_legend->hide();
    m_missing = new QLabel(this);
    m_missing->setObjectName(QStringLiteral("TrendChartMissing"));
    m_missing->setWordWrap(true);
    m_missing->setAlignment(Qt::AlignCenter);

    auto *top = new QHBoxLayout;
    top->addWidget(m_spanBox);
    top->addWidget(m_modulesBox);
    top->addWidget(m_pause);
    top->addStretch();
    top->addWidget(png);
    top->addWidget(csv);
    m_chartPlace = new QStackedLayout;
    m_chartPlace->addWidget(m_missing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    layout->addLayout(top);
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
    m_modulesBox->setCurrentIndex(all ? 0 : 1);
    if (all == m_all)
        return;
    m_all = all;
    m_valueAxis.reset();
    redraw();
}

void TrendPanel::setSpan(TrendSeries::Duration span)
{
    // The offered span nearest to the one asked (a hand-edited settings file).
    int nearest = 0;
    for (int i = 1; i < static_cast<int>(std::size(kSpans)); ++i)
        if (std::chrono::abs(kSpans[i].span - span) < std::chrono::abs(kSpans[nearest].span - span))
            nearest = i;
    m_span = kSpans[nearest].span;
    if (m_spanBox->currentIndex() != nearest)
        m_spanBox->setCurrentIndex(nearest);
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
    plain.unit = m_unit;
    return plain;
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

QColor TrendPanel::colourOf(int address, bool dark) const
{
    // By the module's place among those followed, so the line keeps its colour
    // whether it is shown alone or with the others.
    const std::vector<int> all = m_store.addresses();
    const auto place = static_cast<std::size_t>(std::find(all.begin(), all.end(), address) - all.begin());
    QColor c = QColor::fromRgb(kLineColours[place % kLineColours.size()]);
    if (place >= kLineColours.size())
        c = c.darker(140); // the second round of hues, told apart by lightness
    // On a dark background the same hue and saturation, lighter, so a blue stays blue.
    return dark ? QColor::fromHsl(c.hslHue(), c.hslSaturation(), std::max(c.lightness(), 170)) : c;
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
        const Readout r = readoutOf(address);
        if (unit && *unit != r.unit)
            units = false;
        unit = r.unit;
        const std::vector<TrendColumn> columns = series->columns(end, m_span, width);
        const TrendStats s = series->stats(end, m_span);
        if (s.count > 0) {
            // A negative scale turns the smallest count into the largest value.
            const double a = s.min * r.scale + r.offset, b = s.max * r.scale + r.offset;
            low = std::min(low.value_or(std::min(a, b)), std::min(a, b));
            high = std::max(high.value_or(std::max(a, b)), std::max(a, b));
        }
        if (stats)
            stats->push_back(s);
        if (address == m_current) {
            m_columns = columns;
            m_stats = s;
        }
        QList<QList<QPointF>> runs = runsOf(columns, spanSeconds);
        for (QList<QPointF> &run : runs)
            for (QPointF &point : run)
                point.setY(point.y() * r.scale + r.offset);
        picture.lines.append({address, colourOf(address, picture.dark), std::move(runs)});
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

QString TrendPanel::statsText(const TrendStats &s, int address) const
{
    const Readout r = readoutOf(address);
    const auto figure = [&r](double count, int decimals) {
        const QString number = QString::number(count * r.scale + r.offset, 'f', decimals);
        return r.unit.isEmpty() ? number : number + QLatin1Char(' ') + r.unit;
    };
    const double a = s.min, b = s.max;
    const bool turned = r.scale < 0; // the smallest count is the largest value
    return tr("最小 %1   最大 %2   平均 %3")
        .arg(figure(turned ? b : a, r.decimals), figure(turned ? a : b, r.decimals), figure(s.mean, r.decimals + 1));
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
    const QString who = several && m_current ? tr("地址 %1: ").arg(*m_current) : QString();
    if (m_stats.count > 0)
        m_statsLabel->setText(who + statsText(m_stats, m_current.value_or(0)) + tr("   速率 %1 次/秒").arg(m_stats.rate, 0, 'f', 1));
    else
        m_statsLabel->setText(who + tr("这段时间内没有数值"));
}

void TrendPanel::showLegend()
{
    // Only when it tells lines apart; a row of small marks that the panel clips.
    if (m_picture.lines.size() < 2) {
        m_legend->hide();
        return;
    }
    QStringList marks;
    for (const TrendPicture::Line &line : m_picture.lines)
        marks << QStringLiteral("<span style=\"color:%1\">■</span>&nbsp;%2").arg(line.colour.name()).arg(line.address);
    const QString text = marks.join(QStringLiteral("&nbsp;&nbsp; "));
    if (m_legend->text() != text) {
        m_legend->setText(text);
        m_legend->setToolTip(tr("地址及其线条的颜色"));
    }
    m_legend->show();
}

QString TrendPanel::spanText() const
{
    for (const SpanChoice &choice : kSpans)
        if (choice.span == m_span)
            return QCoreApplication::translate("kvp", choice.label);
    return tr("%1 秒").arg(seconds(m_span));
}

QStringList TrendPanel::caption(const QDateTime &at, const std::vector<TrendStats> *stats) const
{
    const std::vector<int> shown = shownAddresses();
    QStringList addresses;
    for (const int a : shown)
        addresses << QString::number(a);
    const QString port = m_port ? m_port() : QString();
    QStringList lines{tr("端口 %1   地址 %2   跨度 %3   %4")
                          .arg(port.isEmpty() ? tr("(无)") : port,
                               addresses.isEmpty() ? tr("(无)") : addresses.join(QStringLiteral(", ")), spanText(),
                               at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))};
    const auto end = shownEnd();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int a = shown[i];
        const TrendSeries *series = m_store.series(a);
        const TrendStats s = stats ? (*stats)[i] : series ? series->stats(end, m_span) : TrendStats{};
        lines << tr("地址 %1: %2").arg(a).arg(s.count > 0 ? statsText(s, a) : tr("没有数值"));
    }
    return lines;
}

QString TrendPanel::savePng(const QString &path)
{
    // Through a file of ours, so that the reason of a failure is known.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    if (!ensureChart())
        return m_chartError;

    std::vector<TrendStats> stats;
    const TrendPicture picture = pictureOf(shownEnd(), kPngWidth - 100, &stats);
    const QStringList text = caption(QDateTime::currentDateTime(), &stats);
    QFont font = this->font();
    font.setPointSizeF(11);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 2;
    // The header on a line of its own, the modules three to a line, each with the
    // mark of its line's colour.
    constexpr int kPerRow = 3;
    const int moduleRows = (static_cast<int>(text.size()) - 1 + kPerRow - 1) / kPerRow;
    const int captionHeight = 8 + lineHeight * (1 + moduleRows) + 6;
    const int chartHeight = std::max(kPngHeight - captionHeight, 420);

    QImage image(kPngWidth, captionHeight + chartHeight, QImage::Format_RGB32);
    image.fill(picture.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    painter.setPen(picture.text);
    painter.drawText(QRect(12, 8, kPngWidth - 24, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, text.first());
    const int cell = (kPngWidth - 24) / kPerRow;
    for (int i = 1; i < text.size(); ++i) {
        const QRect r(12 + ((i - 1) % kPerRow) * cell, 8 + lineHeight * (1 + (i - 1) / kPerRow), cell, lineHeight);
        const QColor colour = i - 1 < picture.lines.size() ? picture.lines[i - 1].colour : picture.text;
        painter.fillRect(QRect(r.left(), r.center().y() - 4, 14, 8), colour);
        painter.drawText(r.adjusted(20, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text[i], Qt::ElideRight, cell - 24));
    }
    painter.drawImage(0, captionHeight, m_chart->image(picture, QSize(kPngWidth, chartHeight)));
    painter.end();
    // Made in memory first, then written: a PNG encoder that fails halfway through a
    // write (a full disk) leaves its buffers behind, and says less than the file does.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return tr("PNG 图片无法生成");
    if (file.write(png) != png.size() || !file.flush())
        return file.errorString();
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
    const auto timeText = [&](TimePoint t) {
        const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - t);
        QDateTime at = wallNow.addMSecs(-ago.count());
        at.setOffsetFromUtc(at.offsetFromUtc());
        return at.toString(Qt::ISODateWithMs).toStdString();
    };
    // Each module shown, its address after the time, as in the value log.
    std::string text = "time,address,min,max,mean,count\n";
    const TimePoint end = shownEnd(); // one instant for every module
    for (const int address : shownAddresses()) {
        const std::string rows = m_store.series(address)->csv(end, m_span, timeText);
        const std::string tag = "," + std::to_string(address);
        for (std::size_t at = rows.find('\n') + 1; at < rows.size();) {
            const std::size_t eol = rows.find('\n', at);
            const std::size_t comma = rows.find(',', at);
            text += rows.substr(at, comma - at) + tag + rows.substr(comma, eol + 1 - comma);
            at = eol + 1;
        }
    }
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
        QDir(LastFolder::get())
            .filePath(QStringLiteral("kvp-trend-%1.%2").arg(stamp, png ? QStringLiteral("png") : QStringLiteral("csv"))),
        png ? tr("PNG 图片 (*.png)") : tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    LastFolder::noteFile(path); // the next dialog, of the trend or a recording, starts there
    if (const QString reason = png ? savePng(path) : saveCsv(path); !reason.isEmpty())
        QMessageBox::warning(this, window()->windowTitle(), tr("无法保存 %1 (%2). 请选择另一个文件.").arg(path, reason));
}

} // namespace kvp
