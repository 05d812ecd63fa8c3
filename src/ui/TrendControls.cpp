#include "TrendControls.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <iterator>

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

int nearestIndex(TrendSeries::Duration span)
{
    int nearest = 0;
    for (int i = 1; i < static_cast<int>(std::size(kSpans)); ++i)
        if (std::chrono::abs(kSpans[i].span - span) < std::chrono::abs(kSpans[nearest].span - span))
            nearest = i;
    return nearest;
}

} // namespace

TrendControls::TrendControls(QWidget *parent) : QWidget(parent)
{
    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("TrendSpan"));
    for (const SpanChoice &choice : kSpans)
        m_spanBox->addItem(QCoreApplication::translate("kvp", choice.label));
    m_spanBox->setCurrentIndex(2);
    m_spanBox->setToolTip(tr("显示的时间跨度"));
    connect(m_spanBox, &QComboBox::activated, this, [this](int index) { emit spanChosen(kSpans[index].span); });
    m_modulesBox = new QComboBox(this);
    m_modulesBox->setObjectName(QStringLiteral("TrendModules"));
    m_modulesBox->addItem(tr("全部模块"));
    m_modulesBox->addItem(tr("此模块"));
    m_modulesBox->setToolTip(tr("模块列表中每个模块一条线, 或只显示地址框中的模块"));
    connect(m_modulesBox, &QComboBox::activated, this, [this](int index) { emit allModulesChosen(index == 0); });

    m_pause = new QPushButton(tr("暂停"), this);
    m_pause->setObjectName(QStringLiteral("TrendPause"));
    m_pause->setCheckable(true);
    m_pause->setToolTip(tr("冻结图形; 读取继续"));
    connect(m_pause, &QPushButton::toggled, this, &TrendControls::pauseToggled);
    auto *png = new QPushButton(tr("保存 PNG…"), this);
    png->setToolTip(tr("把显示的跨度保存为图片"));
    connect(png, &QPushButton::clicked, this, &TrendControls::savePngAsked);
    auto *csv = new QPushButton(tr("保存 CSV…"), this);
    csv->setToolTip(tr("把显示的跨度保存为 CSV: 每段的最小值, 最大值, 平均值和个数"));
    connect(csv, &QPushButton::clicked, this, &TrendControls::saveCsvAsked);

    // A screen reader on Linux says a box's value as its name, and names it by the
    // label it is the buddy of: a label each, not shown (the row has no room for
    // them, and the eye reads the boxes by their values).
    for (auto [box, name] : {std::pair{m_spanBox, tr("显示的时间跨度")}, std::pair{m_modulesBox, tr("显示的模块")}}) {
        box->setAccessibleName(name);
        auto *label = new QLabel(name, this);
        label->setBuddy(box);
        label->hide();
    }

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_spanBox);
    row->addWidget(m_modulesBox);
    row->addWidget(m_pause);
    row->addStretch();
    row->addWidget(png);
    row->addWidget(csv);
}

TrendSeries::Duration TrendControls::nearestSpan(TrendSeries::Duration span)
{
    return kSpans[nearestIndex(span)].span;
}

QString TrendControls::spanText(TrendSeries::Duration span)
{
    for (const SpanChoice &choice : kSpans)
        if (choice.span == span)
            return QCoreApplication::translate("kvp", choice.label);
    return tr("%1 秒").arg(std::chrono::duration<double>(span).count());
}

void TrendControls::showSpan(TrendSeries::Duration span)
{
    if (const int index = nearestIndex(span); m_spanBox->currentIndex() != index)
        m_spanBox->setCurrentIndex(index);
}

void TrendControls::showAllModules(bool all)
{
    m_modulesBox->setCurrentIndex(all ? 0 : 1);
}

void TrendControls::showPaused(bool paused)
{
    const QSignalBlocker quiet(m_pause);
    m_pause->setChecked(paused);
    m_pause->setText(paused ? tr("继续") : tr("暂停"));
}

} // namespace kvp
