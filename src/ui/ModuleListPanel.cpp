#include "ModuleListPanel.h"

#include "protocol/Address.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kvp {
namespace {

enum Column { addressColumn, valueColumn, stateColumn, replyColumn, ageColumn, columnCount };

QString ageText(ModuleListPanel::Clock::duration age)
{
    const double s = std::chrono::duration<double>(age).count();
    if (s < 10)
        return QCoreApplication::translate("kvp", "%1 秒").arg(s, 0, 'f', 1);
    if (s < 120)
        return QCoreApplication::translate("kvp", "%1 秒").arg(static_cast<int>(s));
    return QCoreApplication::translate("kvp", "%1 分钟").arg(static_cast<int>(s / 60));
}

} // namespace

ModuleListPanel::ModuleListPanel(Source source, QWidget *parent) : QWidget(parent), m_source(std::move(source))
{
    setObjectName(QStringLiteral("ModuleList"));
    m_table = new QTableWidget(0, columnCount, this);
    m_table->setObjectName(QStringLiteral("ModuleTable"));
    m_table->setHorizontalHeaderLabels({tr("地址"), tr("数值"), tr("状态"), tr("应答时间"), tr("数值年龄")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    // The value takes what the others leave; the table never scrolls sideways.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(valueColumn, QHeaderView::Stretch);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setToolTip(tr("单击一行, 上面显示它的数值; Delete 移除"));
    m_table->setAccessibleName(tr("模块列表"));
    m_table->installEventFilter(this);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) { onCurrentRow(row); });
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const int row = m_table->rowAt(at.y());
        if (row < 0)
            return;
        m_table->setCurrentCell(row, addressColumn);
        QMenu menu;
        menu.addAction(tr("移除地址 %1").arg(m_table->item(row, addressColumn)->text()), this,
                       &ModuleListPanel::removeSelected);
        emit rowMenu(m_table->item(row, addressColumn)->data(Qt::UserRole).toInt(), &menu);
        menu.exec(m_table->viewport()->mapToGlobal(at));
    });

    m_newAddress = new QSpinBox(this);
    m_newAddress->setObjectName(QStringLiteral("ModuleNewAddress"));
    m_newAddress->setRange(kLowestAddress, kHighestAddress);
    m_newAddress->setToolTip(tr("要加入列表的模块地址 (0 ~ 31)"));
    m_newAddress->setAccessibleName(tr("要加入列表的地址"));
    m_newAddress->installEventFilter(this);
    m_add = new QPushButton(tr("添加"), this);
    m_add->setObjectName(QStringLiteral("ModuleAdd"));
    m_add->setToolTip(tr("把地址加入列表; 列表有两个以上模块时, 读取按顺序询问它们"));
    m_remove = new QPushButton(tr("移除"), this);
    m_remove->setObjectName(QStringLiteral("ModuleRemove"));
    m_remove->setToolTip(tr("从列表中移除选中的模块 (Delete)"));
    connect(m_newAddress, &QSpinBox::valueChanged, this, &ModuleListPanel::updateButtons);
    connect(m_add, &QPushButton::clicked, this, [this] { addAddress(m_newAddress->value()); });
    connect(m_remove, &QPushButton::clicked, this, &ModuleListPanel::removeSelected);

    // Tab goes as the eye reads: the row of the address to add, then the table below it.
    setTabOrder(m_newAddress, m_add);
    setTabOrder(m_add, m_remove);
    setTabOrder(m_remove, m_table);

    auto *label = new QLabel(tr("模块:"), this);
    label->setBuddy(m_newAddress);
    auto *top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_newAddress);
    top->addWidget(m_add);
    top->addStretch();
    top->addWidget(m_remove);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);

    m_colours = valueColoursOn(palette().color(QPalette::Window));
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &ModuleListPanel::refresh);
    updateButtons();
}

QList<int> ModuleListPanel::addresses() const
{
    QList<int> list;
    for (int row = 0; row < m_table->rowCount(); ++row)
        list << m_table->item(row, addressColumn)->data(Qt::UserRole).toInt();
    return list;
}

void ModuleListPanel::setAddresses(const QList<int> &addresses)
{
    m_quiet = true;
    m_table->setRowCount(0);
    for (const int a : addresses)
        if (a >= kLowestAddress && a <= kHighestAddress && rowOf(a) < 0)
            insertRow(a);
    m_quiet = false;
    setCurrent(m_current);
    updateButtons();
    emit addressesChanged(this->addresses());
}

bool ModuleListPanel::addAddress(int address)
{
    if (address < kLowestAddress || address > kHighestAddress || rowOf(address) >= 0)
        return false;
    // It starts blank: a value of the time it was not listed is no value of the bus.
    m_values.erase(address);
    m_quiet = true;
    insertRow(address);
    m_quiet = false;
    setCurrent(m_current);
    // The next free address, so that a few clicks on Add fill a bus in order.
    for (int next = address + 1; next <= kHighestAddress; ++next)
        if (rowOf(next) < 0) {
            m_newAddress->setValue(next);
            break;
        }
    updateButtons();
    emit addressesChanged(addresses());
    return true;
}

void ModuleListPanel::removeAddress(int address)
{
    const int row = rowOf(address);
    if (row < 0)
        return;
    m_quiet = true;
    m_table->removeRow(row);
    m_quiet = false;
    m_values.erase(address);
    updateButtons();
    emit addressesChanged(addresses());
}

void ModuleListPanel::removeSelected()
{
    if (const int row = m_table->currentRow(); row >= 0)
        removeAddress(m_table->item(row, addressColumn)->data(Qt::UserRole).toInt());
}

int ModuleListPanel::rowOf(int address) const
{
    for (int row = 0; row < m_table->rowCount(); ++row)
        if (m_table->item(row, addressColumn)->data(Qt::UserRole).toInt() == address)
            return row;
    return -1;
}

void ModuleListPanel::insertRow(int address)
{
    // In the order of addresses, as the modules are asked.
    int row = 0;
    while (row < m_table->rowCount() && m_table->item(row, addressColumn)->data(Qt::UserRole).toInt() < address)
        ++row;
    m_table->insertRow(row);
    for (int column = 0; column < columnCount; ++column)
        m_table->setItem(row, column, new QTableWidgetItem(column == addressColumn ? QString::number(address)
                                                                                 : QStringLiteral("—")));
    m_table->item(row, addressColumn)->setData(Qt::UserRole, address);
    for (const int column : {addressColumn, replyColumn, ageColumn})
        m_table->item(row, column)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void ModuleListPanel::noteValue(int address, const QString &text, Clock::time_point at)
{
    m_values[address] = Shown{text, at};
    // At once, not at the next refresh: the row of the box's module shows the very
    // number the big value shows.
    if (const int row = rowOf(address); row >= 0)
        m_table->item(row, valueColumn)->setText(text);
}

void ModuleListPanel::updateText(int address, const QString &text)
{
    if (const auto it = m_values.find(address); it != m_values.end())
        it->second.text = text;
}

QString ModuleListPanel::lastValue(int address) const
{
    const auto it = m_values.find(address);
    return it == m_values.end() ? QString() : it->second.text;
}

void ModuleListPanel::setCurrent(std::optional<int> address)
{
    m_current = address;
    m_quiet = true;
    const int row = address ? rowOf(*address) : -1;
    if (row >= 0)
        m_table->setCurrentCell(row, m_table->currentColumn() < 0 ? addressColumn : m_table->currentColumn());
    else
        m_table->clearSelection();
    m_quiet = false;
    updateButtons();
}

void ModuleListPanel::setColours(const ValueColours &colours)
{
    m_colours = colours;
    refresh();
}

void ModuleListPanel::onCurrentRow(int row)
{
    updateButtons();
    if (m_quiet || row < 0)
        return;
    emit addressChosen(m_table->item(row, addressColumn)->data(Qt::UserRole).toInt());
}

void ModuleListPanel::updateButtons()
{
    m_add->setEnabled(rowOf(m_newAddress->value()) < 0);
    m_remove->setEnabled(m_table->currentRow() >= 0);
}

void ModuleListPanel::refresh()
{
    const auto now = Clock::now();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const int address = m_table->item(row, addressColumn)->data(Qt::UserRole).toInt();
        const Module module = m_source ? m_source(address) : Module{};
        const auto shown = m_values.find(address);
        const bool hasValue = shown != m_values.end();
        QString state;
        switch (module.state) {
        case Module::State::notRead:
            state = QStringLiteral("—");
            break;
        case Module::State::live:
            state = tr("实时");
            break;
        case Module::State::stale:
            state = tr("过时");
            break;
        case Module::State::noAnswer:
            state = tr("无应答");
            break;
        case Module::State::silent:
        case Module::State::late: {
            if (!module.nextAskIn) {
                state = module.state == Module::State::silent ? tr("无应答") : tr("应答太迟");
                break;
            }
            const int s = int(std::chrono::ceil<std::chrono::seconds>(*module.nextAskIn).count());
            state = (module.state == Module::State::silent ? tr("无应答, %1 秒后再问") : tr("应答太迟, %1 秒后再问"))
                        .arg(std::max(s, 0));
            break;
        }
        }
        const QColor colour = module.state == Module::State::live ? m_colours.live : m_colours.stale;
        m_table->item(row, valueColumn)->setText(hasValue ? shown->second.text : QStringLiteral("—"));
        m_table->item(row, stateColumn)->setText(state);
        for (const int column : {valueColumn, stateColumn})
            m_table->item(row, column)->setForeground(colour);
        m_table->item(row, replyColumn)->setText(module.meanReply ? QStringLiteral("%1 ms").arg(module.meanReply->count(), 0, 'f', module.meanReply->count() < 10 ? 1 : 0)
                                                                  : QStringLiteral("—"));
        m_table->item(row, ageColumn)->setText(hasValue ? ageText(now - shown->second.at) : QStringLiteral("—"));
    }
}

bool ModuleListPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::FocusIn && !m_quiet) {
        // Reached by Tab, a table without a current row makes its first one current:
        // that is not the user choosing a module, and the box is not to follow.
        m_quiet = true;
        const bool handled = static_cast<QObject *>(m_table)->event(event);
        m_quiet = false;
        updateButtons();
        return handled;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (watched == m_table && key == Qt::Key_Delete) {
            removeSelected();
            return true;
        }
        if (watched == m_newAddress && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            addAddress(m_newAddress->value());
            return true; // not the window's Read
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ModuleListPanel::showEvent(QShowEvent *event)
{
    refresh();
    m_refresh.start();
    QWidget::showEvent(event);
}

void ModuleListPanel::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QWidget::hideEvent(event);
}

} // namespace kvp
