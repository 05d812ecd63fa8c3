#include "StatusRow.h"

#include "app/WindowText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace kvp {
namespace {

// The port gets at most this share of the row; a /dev/serial/by-id name is long.
constexpr int kPortWidth = 220;

} // namespace

StatusRow::StatusRow(QLabel *state, QWidget *parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)), m_port(new QToolButton(this)),
      m_menuButton(new QToolButton(this)), m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("StatusRow"));
    setGeometry(state->geometry());
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);
    state->setParent(this);
    state->setMinimumWidth(0);
    m_layout->addWidget(state, 1);

    m_port->setObjectName(QStringLiteral("PortButton"));
    m_port->setAutoRaise(true);
    m_port->setFont(state->font());
    m_port->setFixedHeight(state->height());
    m_port->setCursor(Qt::PointingHandCursor);
    connect(m_port, &QToolButton::clicked, this, &StatusRow::portClicked);
    m_layout->addWidget(m_port);

    m_menuButton->setObjectName(QStringLiteral("StatusMenuButton"));
    m_menuButton->setAutoRaise(true);
    m_menuButton->setFixedHeight(state->height());
    m_menuButton->setText(QStringLiteral("⋯"));
    m_menuButton->setMenu(m_menu);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    m_menuButton->setToolTip(windowWord(WindowWord::menuTip));
    m_menuButton->setAccessibleName(windowWord(WindowWord::menuTip));
    m_layout->addWidget(m_menuButton);
}

void StatusRow::addWidget(QWidget *widget)
{
    m_layout->insertWidget(m_layout->indexOf(m_port), widget);
}

void StatusRow::setPort(const QString &port, const QString &toolTip)
{
    m_port->setText(m_port->fontMetrics().elidedText(port, Qt::ElideMiddle, kPortWidth));
    m_port->setToolTip(toolTip);
}

void StatusRow::followInTabOrder(QWidget *previous)
{
    for (const char *name : {"TrendToggle", "ModulesToggle", "LineCounts", "PortButton", "StatusMenuButton"}) {
        if (auto *button = findChild<QToolButton *>(QLatin1String(name))) {
            button->setFocusPolicy(Qt::TabFocus);
            button->setCursor(Qt::PointingHandCursor);
            setTabOrder(previous, button);
            previous = button;
        }
    }
    // Looks like what it is, a link-like button: underlined under the pointer.
    setStyleSheet(styleSheet() + QStringLiteral("QToolButton:hover, QToolButton:focus { text-decoration: underline; }"));
}

} // namespace kvp
