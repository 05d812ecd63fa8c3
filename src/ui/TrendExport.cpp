#include "TrendExport.h"

#include "app/LastFolder.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPainter>

#include <algorithm>

namespace kvp {

QImage TrendExport::picture(const QStringList &caption, const TrendPicture &picture, const QFont &font, int width,
                            int height, const std::function<QImage(QSize)> &chart)
{
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 2;
    constexpr int kPerRow = 3;
    const int moduleRows = (static_cast<int>(caption.size()) - 1 + kPerRow - 1) / kPerRow;
    const int captionHeight = 8 + lineHeight * (1 + moduleRows) + 6;
    const int chartHeight = std::max(height - captionHeight, 420);

    QImage image(width, captionHeight + chartHeight, QImage::Format_RGB32);
    image.fill(picture.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    painter.setPen(picture.text);
    painter.drawText(QRect(12, 8, width - 24, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, caption.first());
    const int cell = (width - 24) / kPerRow;
    for (int i = 1; i < caption.size(); ++i) {
        const QRect r(12 + ((i - 1) % kPerRow) * cell, 8 + lineHeight * (1 + (i - 1) / kPerRow), cell, lineHeight);
        const QColor colour = i - 1 < picture.lines.size() ? picture.lines[i - 1].colour : picture.text;
        painter.fillRect(QRect(r.left(), r.center().y() - 4, 14, 8), colour);
        painter.drawText(r.adjusted(20, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(caption[i], Qt::ElideRight, cell - 24));
    }
    painter.drawImage(0, captionHeight, chart(QSize(width, chartHeight)));
    painter.end();
    return image;
}

std::string TrendExport::csv(const TrendStore &store, const std::vector<int> &addresses, TrendSeries::TimePoint end,
                             TrendSeries::Duration span)
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
    std::string text = "time,address,min,max,mean,count\n";
    for (const int address : addresses) {
        const std::string rows = store.series(address)->csv(end, span, timeText);
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

QString TrendExport::savePng(const QString &path, const std::function<QImage(QString &reason)> &render)
{
    // Through a file of ours, so that the reason of a failure is known.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    QString reason;
    const QImage image = render(reason);
    if (image.isNull())
        return reason;
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

QString TrendExport::saveCsv(const QString &path, const std::string &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return file.errorString();
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.flush())
        return file.errorString();
    return {};
}

void TrendExport::chooseAndSave(QWidget *parent, bool png, const std::function<QString(const QString &)> &save)
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
        QMessageBox::warning(parent, parent->window()->windowTitle(),
                             tr("无法保存 %1 (%2). 请选择另一个文件.").arg(path, reason));
}

} // namespace kvp
