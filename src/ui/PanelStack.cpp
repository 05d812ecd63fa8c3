#include "PanelStack.h"

#include "ModuleListPanel.h"
#include "TrendPanel.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace kvp {
namespace {

constexpr int kFormWidth = 468;
constexpr int kFormHeight = 284;

} // namespace

PanelStack::PanelStack(QWidget &window, TrendPanel *trend, ModuleListPanel *modules)
    : QObject(&window), m_window(window), m_trend(trend), m_modules(modules), m_area(new QScrollArea(&window)),
      m_box(new QWidget)
{
    m_area->setObjectName(QStringLiteral("Panels"));
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_area->setWidget(m_box);
    m_area->setFocusPolicy(Qt::NoFocus); // Tab goes on into the panels' own controls
    m_trend->setParent(m_box);
    m_modules->setParent(m_box);
    m_trend->hide();
    m_modules->hide();
    m_area->hide();
}

bool PanelStack::trendOpen() const
{
    return !m_trend->isHidden(); // open, whether the window is shown yet or not
}

bool PanelStack::modulesOpen() const
{
    return !m_modules->isHidden();
}

void PanelStack::setTrendOpen(bool open)
{
    m_trend->setVisible(open);
    layOut();
}

void PanelStack::setModulesOpen(bool open)
{
    m_modules->setVisible(open);
    layOut();
}

int PanelStack::room() const
{
    const QScreen *screen = m_window.screen();
    if (!screen)
        return wanted();
    const int frame = m_window.isVisible() ? m_window.frameGeometry().height() - m_window.height() : 0;
    return std::max(0, screen->availableGeometry().height() - frame - kFormHeight);
}

int PanelStack::trendHeight() const
{
    // The trend gives up height first, down to what still shows a chart.
    const int modules = modulesOpen() ? ModuleListPanel::kHeight : 0;
    return std::clamp(room() - modules, TrendPanel::kMinHeight, TrendPanel::kHeight);
}

int PanelStack::wanted() const
{
    return (trendOpen() ? trendHeight() : 0) + (modulesOpen() ? ModuleListPanel::kHeight : 0);
}

int PanelStack::height() const
{
    return std::min(wanted(), room());
}

void PanelStack::layOut()
{
    // The window grows by the panels; one the user made larger keeps its size, as
    // long as the form still fits above them.
    const int base = kFormHeight + height();
    const bool atBase = m_window.height() <= m_baseHeight;
    m_baseHeight = base;
    m_window.setMinimumSize(kFormWidth, base);
    if (atBase || m_window.height() < base)
        m_window.resize(m_window.width(), base);
    place();
}

void PanelStack::place()
{
    const int shown = height();
    m_area->setVisible(shown > 0);
    if (shown == 0)
        return;
    // At the bottom, under the form, centred with it.
    const int x = std::max(0, (m_window.width() - kFormWidth) / 2);
    const int top = std::max(kFormHeight, m_window.height() - shown);
    const int all = wanted();
    const int width = all > shown ? kFormWidth - m_area->verticalScrollBar()->sizeHint().width() : kFormWidth;
    int y = 0;
    if (trendOpen()) {
        m_trend->setGeometry(0, y, width, trendHeight());
        y += trendHeight();
    }
    if (modulesOpen())
        m_modules->setGeometry(0, y, width, ModuleListPanel::kHeight);
    m_box->resize(width, all);
    m_area->setGeometry(x, top, kFormWidth, shown);
}

} // namespace kvp
