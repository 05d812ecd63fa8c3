#include "FindModuleDialog.h"

#include "app/ReadSession.h"
#include "app/ScanSession.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvp {

FindModuleDialog::FindModuleDialog(ReadSession &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("FindModule"));
    setWindowTitle(tr("查找模块"));
    // Not modal: the value stays in view. The session holds Read back while the search
    // has the line (ReadSession::lendPort), so there is never a second master on it.
    setModal(false);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("FindState"));
    // What the search heard but could not take runs to long sentences: they wrap in
    // the dialog's width instead of stretching it across the screen.
    m_state->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 32);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("FindList"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("FindCancel"));
    m_use = buttons->addButton(tr("使用此地址"), QDialogButtonBox::AcceptRole);
    m_use->setObjectName(QStringLiteral("FindUse"));
    m_use->setEnabled(false);
    m_useAll = buttons->addButton(tr("读取全部找到的"), QDialogButtonBox::ActionRole);
    m_useAll->setObjectName(QStringLiteral("FindReadAll"));
    m_useAll->setToolTip(tr("把找到的地址全部放入模块列表, 并按顺序读取它们"));
    m_useAll->setEnabled(false);
    connect(m_useAll, &QPushButton::clicked, this, &FindModuleDialog::chooseAll);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_use->setEnabled(row >= 0); });
    connect(m_list, &QListWidget::itemActivated, this, &FindModuleDialog::choose);
    connect(buttons, &QDialogButtonBox::accepted, this, &FindModuleDialog::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &FindModuleDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_state);
    layout->addWidget(m_progress);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(300, 320);
}

FindModuleDialog::~FindModuleDialog()
{
    if (m_scan && m_scan->running()) {
        m_scan->cancel();
    }
}

bool FindModuleDialog::start()
{
    Link *link = m_session.lendPort();
    if (!link) {
        m_state->setText(m_session.connecting() ? tr("正在连接串口服务器: 连接后再查找模块")
                                                : tr("串口未打开: 无法查找模块"));
        return false;
    }
    ScanSettings settings = ScanSettings::like(m_session.cycle().settings());
    // A module on a poor line that lost its one reply is not to go unmentioned.
    settings.askSilentAgain = true;
    m_scan = std::make_unique<ScanSession>(*link, settings, m_session.cycle().framings());
    connect(m_scan.get(), &ScanSession::progress, this, [this](int address, int done, int total) {
        m_progress->setRange(0, total);
        m_progress->setValue(done);
        m_state->setText(tr("正在询问地址 %1 …").arg(address));
    });
    connect(m_scan.get(), &ScanSession::found, this, &FindModuleDialog::onFound);
    connect(m_scan.get(), &ScanSession::finished, this, &FindModuleDialog::onFinished);
    m_scan->start();
    return true;
}

bool FindModuleDialog::searching() const
{
    return m_scan && m_scan->running();
}

void FindModuleDialog::onFound(int address, const QString &valueText)
{
    // In the module's units, as the window will show it, with the count beside.
    QString text = valueText;
    const std::vector<ScanAnswer> &found = m_scan->cycle().found();
    if (const EngineeringUnits &units = m_session.readouts().of(address).units;
        !found.empty() && found.back().address == address && (units.scales() || !units.unit.empty()))
        text = tr("%1   (计数 %2)").arg(QString::fromStdString(units.textWithUnit(found.back().value)), valueText);
    // In the order of addresses: one asked again comes after the others.
    int row = 0;
    while (row < m_list->count() && m_list->item(row)->data(Qt::UserRole).toInt() < address)
        ++row;
    auto *item = new QListWidgetItem(tr("地址 %1:  %2").arg(address).arg(text));
    m_list->insertItem(row, item);
    item->setData(Qt::UserRole, address);
    if (m_list->currentRow() < 0)
        m_list->setCurrentRow(0);
    m_useAll->setEnabled(true);
}

void FindModuleDialog::onFinished()
{
    m_session.takePortBack();
    m_progress->setValue(m_progress->maximum());
    const int n = m_list->count();
    if (m_scan->cycle().cancelled())
        m_state->setText(tr("已取消; 找到 %n 个模块", nullptr, n));
    else
        m_state->setText(n > 0 ? tr("找到 %n 个模块", nullptr, n) : tr("没有模块应答 (地址 0 到 31): 检查接线和模块的电源, 或选择另一个串口 (Ctrl+P)"));
    // What was heard but not taken: a module is there, the line or the time-out is not right.
    const ScanCycle &result = m_scan->cycle();
    const auto list = [](const std::vector<int> &addresses) {
        QStringList names;
        for (const int a : addresses)
            names << QString::number(a);
        return names.join(QStringLiteral(", "));
    };
    QStringList notes{m_state->text()};
    if (!result.garbled().empty())
        notes << tr("地址 %1 的应答校验错误: 检查接线, 或试试回波处理").arg(list(result.garbled()));
    if (!result.late().empty())
        notes << tr("地址 %1 的应答晚于超时: 请加大超时").arg(list(result.late()));
    if (!result.lossy().empty())
        notes << tr("地址 %1 再次询问时才应答: 模块或线路会丢失应答, 检查接线; 这样的模块也可能漏掉, 可再查找一次")
                     .arg(list(result.lossy()));
    if (result.everyAddressAnswered())
        notes << tr("每个地址都有应答: 可能是不看地址的模块, 或线路回波");
    m_state->setText(notes.join(QLatin1Char('\n')));
    m_cancel->setText(tr("关闭")); // nothing left to cancel
    if (m_pendingResult >= 0)
        finish(m_pendingResult);
}

void FindModuleDialog::choose()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    emit addressChosen(QString::number(item->data(Qt::UserRole).toInt()));
    accept();
}

void FindModuleDialog::chooseAll()
{
    m_all.clear();
    for (int row = 0; row < m_list->count(); ++row)
        m_all << m_list->item(row)->data(Qt::UserRole).toInt();
    if (!m_all.isEmpty())
        accept();
}

void FindModuleDialog::done(int result)
{
    // Picking while the search still runs ends it: the port comes back first.
    if (searching()) {
        m_pendingResult = result;
        m_scan->cancel();
        return;
    }
    finish(result);
}

void FindModuleDialog::finish(int result)
{
    QDialog::done(result);
    if (result == QDialog::Accepted && !m_all.isEmpty())
        emit allChosen(m_all);
}

} // namespace kvp
