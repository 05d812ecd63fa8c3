#include "StatusRow.h"

#include "app/WindowText.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <algorithm>
#include <vector>

namespace kvp {
namespace {

// The port gets at most this share of the row; a /dev/serial/by-id name is long.
constexpr int kPortWidth = 220;

} // namespace

StatusRow::StatusRow(QLabel *state, QWidget *parent)
    : QWidget(parent), m_state(state), m_layout(new QHBoxLayout(this)), m_port(new QToolButton(this)),
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
    m_portName = port;
    m_port->setText(m_port->fontMetrics().elidedText(port, Qt::ElideMiddle, kPortWidth));
    m_port->setToolTip(toolTip);
    fit();
}

bool StatusRow::event(QEvent *event)
{
    if (event->type() == QEvent::LayoutRequest)
        fit(); // something on the line changed its size
    return QWidget::event(event);
}

void StatusRow::resizeEvent(QResizeEvent *event)
{
    fit();
    QWidget::resizeEvent(event);
}

void StatusRow::fit()
{
    struct Yielding
    {
        QWidget *widget;
        int want;
        int least;
    };
    // A button's text is shortened to its room; a label is given a width and elides itself.
    const auto padding = [](QToolButton *button) {
        return button->sizeHint().width() - button->fontMetrics().horizontalAdvance(button->text());
    };
    // A character and the "…": a sign that it is there, and its tooltip has the rest.
    const auto least = [](QWidget *widget, int padding, int want) {
        const QFontMetrics metrics = widget->fontMetrics();
        return std::min(want, padding + metrics.averageCharWidth() + metrics.horizontalAdvance(QStringLiteral("…")));
    };
    auto *recording = findChild<QLabel *>(QStringLiteral("RecordingRows"));
    auto *counts = findChild<QToolButton *>(QStringLiteral("LineCounts"), Qt::FindDirectChildrenOnly);
    auto *mqtt = findChild<QLabel *>(QStringLiteral("MqttStateLabel"), Qt::FindDirectChildrenOnly);
    if (counts && counts->text() != m_countsShown)
        m_countsText = counts->text(); // its owner wrote it anew
    const int portPadding = padding(m_port);
    const int countsPadding = counts ? padding(counts) : 0;
    std::vector<Yielding> yielding;
    int taken = 0;
    int shown = 0;
    for (int i = 0; i < m_layout->count(); ++i) {
        QWidget *widget = m_layout->itemAt(i)->widget();
        if (!widget || widget->isHidden())
            continue;
        ++shown;
        if (widget == m_state || widget == m_port || widget == counts || widget == mqtt)
            continue;
        int hint = m_layout->itemAt(i)->sizeHint().width();
        if (recording && !recording->isHidden() && widget->isAncestorOf(recording)) {
            const int want = recording->sizeHint().width();
            hint -= std::min(want, recording->maximumWidth());
            yielding.push_back({recording, want, least(recording, 0, want)});
        }
        taken += hint;
    }
    // In the order they give way: the file name, the counts (the traffic view has
    // them all), the MQTT state, and last the port's name, which the state's advice
    // may point at ("click the port name on the right").
    if (counts && !counts->isHidden()) {
        const int want = countsPadding + counts->fontMetrics().horizontalAdvance(m_countsText);
        yielding.push_back({counts, std::max(want, counts->minimumWidth()), least(counts, countsPadding, want)});
    }
    if (mqtt && !mqtt->isHidden()) {
        const int want = mqtt->sizeHint().width();
        yielding.push_back({mqtt, want, least(mqtt, 0, want)});
    }
    if (!m_port->isHidden()) {
        const int want = portPadding + std::min(m_port->fontMetrics().horizontalAdvance(m_portName), kPortWidth);
        yielding.push_back({m_port, want, least(m_port, portPadding, want)});
    }
    for (const Yielding &item : yielding)
        taken += item.want;
    int over = taken + m_layout->spacing() * std::max(0, shown - 1) + m_state->minimumSizeHint().width()
        - contentsRect().width();
    for (const Yielding &item : yielding) {
        const int give = std::clamp(over, 0, item.want - item.least);
        over -= give;
        const int width = item.want - give;
        if (item.widget == m_port) {
            // Whole when nothing was taken: elidedText() shortens a name as wide as its room.
            m_port->setText(give == 0 ? m_port->fontMetrics().elidedText(m_portName, Qt::ElideMiddle, kPortWidth)
                                      : m_port->fontMetrics().elidedText(m_portName, Qt::ElideMiddle, width - portPadding));
        } else if (item.widget == counts) {
            if (give > 0)
                counts->setMinimumWidth(0); // it grows only where there is room for it
            m_countsShown = give == 0 ? m_countsText
                                      : counts->fontMetrics().elidedText(m_countsText, Qt::ElideRight, width - countsPadding);
            counts->setText(m_countsShown);
        } else {
            item.widget->setMaximumWidth(width);
        }
    }
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
