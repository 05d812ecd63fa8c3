#include "TrendExport.h"

#include "app/LastFolder.h"
#include "trend/TrendFigures.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontMetrics>
#include <QSaveFile>
#include <QPainter>

#include <algorithm>

namespace kvp {

namespace {

constexpr int kMargin = 12;
constexpr int kTop = 8;
constexpr int kMark = 20;   // the colour's mark, before a module's text
constexpr int kGap = 12;    // between modules in a row
constexpr int kPerRow = 3;

// A unit is typed by the user: "kg", but also "N, net".
std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

} // namespace

QList<QRect> TrendExport::captionCells(const QStringList &caption, const QFontMetrics &metrics, int width)
{
    const int inner = width - 2 * kMargin;
    const auto heightOf = [&](const QString &text, int w) {
        return metrics.boundingRect(QRect(0, 0, w, 0), Qt::TextWordWrap, text).height();
    };
    QList<QRect> cells;
    if (caption.isEmpty())
        return cells;
    int y = kTop;
    cells << QRect(kMargin, y, inner, heightOf(caption.first(), inner));
    y = cells.back().bottom() + 1 + 2;
    int widest = 0;
    for (int i = 1; i < caption.size(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(caption[i]));
    const int perRow = std::clamp(inner / (widest + kMark + kGap + 1), 1, kPerRow);
    const int cell = inner / perRow;
    for (int first = 1; first < caption.size(); first += perRow) {
        const int last = std::min<int>(first + perRow, static_cast<int>(caption.size()));
        int rowHeight = 0;
        for (int i = first; i < last; ++i)
            rowHeight = std::max(rowHeight, heightOf(caption[i], cell - kMark - kGap));
        for (int i = first; i < last; ++i)
            cells << QRect(kMargin + (i - first) * cell + kMark, y, cell - kMark - kGap, rowHeight);
        y += rowHeight + 2;
    }
    return cells;
}

QImage TrendExport::picture(const QStringList &caption, const TrendPicture &picture, const QFont &font, int width,
                            int height, const std::function<QImage(QSize)> &chart)
{
    const QFontMetrics metrics(font);
    const QList<QRect> cells = captionCells(caption, metrics, width);
    const int captionHeight = (cells.isEmpty() ? kTop : cells.back().bottom() + 1) + 6;
    const int chartHeight = std::max(height - captionHeight, 420);

    QImage image(width, captionHeight + chartHeight, QImage::Format_RGB32);
    image.fill(picture.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    painter.setPen(picture.text);
    for (int i = 0; i < cells.size(); ++i) {
        const QRect &r = cells[i];
        if (i > 0) {
            const QColor colour = i - 1 < picture.lines.size() ? picture.lines[i - 1].colour : picture.text;
            const int markY = r.top() + metrics.height() / 2 - 4; // beside the first line
            painter.fillRect(QRect(r.left() - kMark, markY, 14, 8), colour);
        }
        painter.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption[i]);
    }
    painter.drawImage(0, captionHeight, chart(QSize(width, chartHeight)));
    painter.end();
    return image;
}

std::string TrendExport::csv(const TrendStore &store, const std::vector<int> &addresses, TrendSeries::TimePoint end,
                             TrendSeries::Duration span, const std::function<EngineeringUnits(int)> &unitsOf)
{
    // The chart's steady clock, turned into the wall-clock time of the value log.
    const auto steadyNow = TrendSeries::Clock::now();
    const QDateTime wallNow = QDateTime::currentDateTime();
    const auto timeText = [&](TrendSeries::TimePoint t) {
        const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - t);
        QDateTime at = wallNow.addMSecs(-ago.count());
        at.setOffsetFromUtc(at.offsetFromUtc());
        return at.toString(Qt::ISODateWithMs).toStdString();
    };
    std::string text = "time,address,min,max,mean,count,scaled_min,scaled_max,scaled_mean,unit\n";
    for (const int address : addresses) {
        const TrendFigures figures(unitsOf(address));
        const std::string unit = "," + csvField(figures.units().unit);
        const bool turned = figures.units().scale.mantissa < 0; // the smallest count is the largest value
        const auto scaled = [&](const TrendBucket &b) {
            if (b.count == 0)
                return ",,," + unit;
            return "," + figures.units().text(turned ? b.max : b.min) + "," + figures.units().text(turned ? b.min : b.max)
                   + "," + figures.meanNumber(b.sum, b.count) + unit;
        };
        const std::string rows = store.series(address)->csv(end, span, timeText, scaled);
        const std::string tag = "," + std::to_string(address);
        for (std::size_t at = rows.find('\n') + 1; at < rows.size();) {
            const std::size_t eol = rows.find('\n', at);
            const std::size_t comma = rows.find(',', at);
            text += rows.substr(at, comma - at) + tag + rows.substr(comma, eol + 1 - comma);
            at = eol + 1;
        }
    }
    return text;
}

namespace {

QString saveWhole(const QString &path, const std::function<std::optional<QByteArray>(QString &reason)> &make)
{
    // A device or a FIFO cannot be replaced, only written: straight to it.
    if (const QFileInfo info(path); info.exists() && !info.isFile() && !info.isDir()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return file.errorString();
        QString reason;
        const std::optional<QByteArray> bytes = make(reason);
        if (!bytes)
            return reason;
        if (file.write(*bytes) != bytes->size() || !file.flush())
            return file.errorString();
        return {};
    }
    // Beside it first, then in its place: whatever fails, the file keeps what it held.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QString reason;
    const std::optional<QByteArray> bytes = make(reason);
    if (!bytes) {
        file.cancelWriting();
        return reason;
    }
    if (file.write(*bytes) != bytes->size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace

QString TrendExport::savePng(const QString &path, const std::function<QImage(QString &reason)> &render)
{
    return saveWhole(path, [&](QString &reason) -> std::optional<QByteArray> {
        const QImage image = render(reason);
        if (image.isNull())
            return std::nullopt;
        // Made in memory first, then written: a PNG encoder that fails halfway through a
        // write (a full disk) leaves its buffers behind, and says less than the file does.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            reason = tr("PNG 图片无法生成");
            return std::nullopt;
        }
        return png;
    });
}

QString TrendExport::saveCsv(const QString &path, const std::string &text)
{
    return saveWhole(path, [&](QString &) -> std::optional<QByteArray> { return QByteArray::fromStdString(text); });
}

void TrendExport::chooseAndSave(QWidget *parent, bool png, const std::function<QString(const QString &)> &save,
                                const std::function<void(const QString &, const QString &)> &failed)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = QFileDialog::getSaveFileName(
        parent, png ? tr("保存趋势图") : tr("保存趋势数据"),
        QDir(LastFolder::get())
            .filePath(QStringLiteral("kvp-trend-%1.%2").arg(stamp, png ? QStringLiteral("png") : QStringLiteral("csv"))),
        png ? tr("PNG 图片 (*.png)") : tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    LastFolder::noteFile(path); // the next dialog, of the trend or a recording, starts there
    if (const QString reason = save(path); !reason.isEmpty())
        failed(path, reason);
}

} // namespace kvp
