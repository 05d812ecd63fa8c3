#include "TrafficView.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kvp {
namespace {

enum Column { timeColumn, addressColumn, bytesColumn, kindColumn, columnCount };
constexpr int kBatchMs = 100;

QString clockText(TimePoint at)
{
    const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - at);
    return QDateTime::currentDateTime().addMSecs(-ago.count()).toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

TrafficView::TrafficView(const TrafficRing &ring, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ring(ring), m_counts(new QLabel(this)), m_pause(new QCheckBox(tr("暂停"), this)),
      m_table(new QTableWidget(0, columnCount, this))
{
    setObjectName(QStringLiteral("TrafficView"));
    setWindowTitle(tr("线路通信"));
    m_counts->setObjectName(QStringLiteral("TrafficCounts"));
    m_counts->setWordWrap(true);
    m_counts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pause->setObjectName(QStringLiteral("TrafficPause"));
    m_pause->setToolTip(tr("列表不再更新, 读取继续"));
    connect(m_pause, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            refill();
    });
    m_table->setObjectName(QStringLiteral("TrafficTable"));
    m_table->setHorizontalHeaderLabels({tr("时间"), tr("地址"), tr("字节 (十六进制)"), tr("判断")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(bytesColumn, QHeaderView::Stretch);
    m_table->setWordWrap(false);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    m_table->setFont(mono);

    auto *top = new QHBoxLayout;
    top->addWidget(m_counts, 1);
    top->addWidget(m_pause);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    resize(640, 420);
    m_batch.setSingleShot(true);
    m_batch.setInterval(kBatchMs);
    connect(&m_batch, &QTimer::timeout, this, &TrafficView::addPending);
}

QString TrafficView::kindText(TrafficEntry::Kind kind)
{
    using Kind = TrafficEntry::Kind;
    switch (kind) {
    case Kind::sent:
        return tr("→ 发送");
    case Kind::goodValue:
        return tr("数值正确");
    case Kind::timeout:
        return tr("超时, 无应答");
    case Kind::badCheck:
        return tr("校验错误");
    case Kind::badTrailer:
        return tr("结尾与先前不同");
    case Kind::shortReply:
        return tr("应答不完整");
    case Kind::late:
        return tr("晚于超时, 已丢弃");
    case Kind::acknowledged:
        return tr("模块确认设置");
    case Kind::thrownAway:
        return tr("无人询问, 已丢弃");
    }
    return {};
}

QString TrafficView::hexText(const TrafficEntry &entry)
{
    QString text = QString::fromLatin1(QByteArray::fromStdString(entry.bytes).toHex(' ').toUpper());
    if (entry.kind == TrafficEntry::Kind::sent)
        text += QStringLiteral("   \"%1\"").arg(QString::fromStdString(entry.bytes));
    if (entry.byteCount > entry.bytes.size())
        text += tr(" … 共 %n 字节", nullptr, int(entry.byteCount));
    return text;
}

void TrafficView::showCounts(const CycleCounters &c, double valuesPerSecond)
{
    m_counts->setText(tr("数值 %1 (%2/s) · 超时 %3 · 校验错误 %4 · 结尾不符 %5 · 不完整 %6 · 迟到 %7 · 丢弃 %8 字节")
                          .arg(c.goodValues)
                          .arg(valuesPerSecond, 0, 'f', 1)
                          .arg(c.timeouts)
                          .arg(c.badChecks)
                          .arg(c.badTrailers)
                          .arg(c.shortReplies)
                          .arg(c.lateReplies)
                          .arg(c.discardedBytes));
}

void TrafficView::entryAdded()
{
    if (isVisible() && !m_pause->isChecked() && !m_batch.isActive())
        m_batch.start();
}

void TrafficView::addPending()
{
    if (!isVisible() || m_pause->isChecked())
        return;
    const std::size_t fresh = std::min(m_ring.added() - m_shownAdded, m_ring.size());
    m_shownAdded = m_ring.added();
    if (fresh >= m_ring.size()) {
        refill();
        return;
    }
    m_table->setUpdatesEnabled(false);
    for (std::size_t i = m_ring.size() - fresh; i < m_ring.size(); ++i)
        addRow(m_ring.at(i));
    const int excess = m_table->rowCount() - int(m_ring.capacity());
    for (int i = 0; i < excess; ++i)
        m_table->removeRow(0);
    m_table->setUpdatesEnabled(true);
    m_table->scrollToBottom();
}

void TrafficView::showEvent(QShowEvent *event)
{
    refill();
    QWidget::showEvent(event);
}

void TrafficView::refill()
{
    m_shownAdded = m_ring.added();
    m_table->setRowCount(0);
    for (std::size_t i = 0; i < m_ring.size(); ++i)
        addRow(m_ring.at(i));
    m_table->resizeColumnToContents(timeColumn);
    m_table->resizeColumnToContents(addressColumn);
    m_table->resizeColumnToContents(kindColumn);
    m_table->scrollToBottom();
}

void TrafficView::addRow(const TrafficEntry &entry)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const auto item = [&](int column, const QString &text) {
        auto *cell = new QTableWidgetItem(text);
        m_table->setItem(row, column, cell);
        return cell;
    };
    item(timeColumn, clockText(entry.at));
    item(addressColumn, QString::number(entry.address));
    item(bytesColumn, hexText(entry))->setToolTip(hexText(entry));
    QTableWidgetItem *kind = item(kindColumn, kindText(entry.kind));
    if (entry.kind != TrafficEntry::Kind::sent && entry.kind != TrafficEntry::Kind::goodValue
        && entry.kind != TrafficEntry::Kind::acknowledged)
    {
        QFont bold = kind->font(); // a fault stands out, in any palette
        bold.setBold(true);
        kind->setFont(bold);
    }
}

} // namespace kvp
