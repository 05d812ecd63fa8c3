#include "PortPicker.h"

#include "app/WindowText.h"
#include "network/NetworkAddress.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace kvp {
namespace {

// Adapters come and go; once a second is soon enough for a hand on a plug, and
// listing the ports costs a few reads under /sys.
constexpr int kPollMs = 1000;
constexpr int kWidth = 452; // the status line's width
constexpr int kMostRowsShown = 6;

} // namespace

PortPicker::PortPicker(Source source, QWidget *parent)
    : QFrame(parent, Qt::Popup), m_source(std::move(source)), m_list(new QListWidget(this)),
      m_path(new QLineEdit(this))
{
    setObjectName(QStringLiteral("PortPicker"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setFixedWidth(kWidth);

    m_list->setObjectName(QStringLiteral("PortList"));
    m_list->setToolTip(windowWord(WindowWord::portListTip));
    m_list->setWordWrap(true);
    connect(m_list, &QListWidget::itemClicked, this, &PortPicker::onItem);
    connect(m_list, &QListWidget::itemActivated, this, &PortPicker::onItem);

    m_path->setObjectName(QStringLiteral("PortPath"));
    m_path->setPlaceholderText(windowWord(WindowWord::portPathPlaceholder));
    m_path->setToolTip(windowWord(WindowWord::portPathPlaceholder));
    m_path->setClearButtonEnabled(true);
    auto *open = new QPushButton(windowWord(WindowWord::portPathOpen), this);
    open->setObjectName(QStringLiteral("PortPathOpen"));
    open->setToolTip(windowWord(WindowWord::portPathOpenTip));
    open->setAutoDefault(false);
    const auto typed = [this] {
        if (const QString path = m_path->text().trimmed(); !path.isEmpty())
            choose(path);
    };
    connect(m_path, &QLineEdit::returnPressed, this, typed);
    connect(open, &QPushButton::clicked, this, typed);

    // Typing goes to the list (its search by name); the path field is a Tab away.
    setFocusProxy(m_list);
    setTabOrder(m_list, m_path);
    setTabOrder(m_path, open);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(open);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_list, 1);
    layout->addLayout(pathRow);

    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &PortPicker::refresh);
}

void PortPicker::popUp(const QString &current, const QRect &anchor)
{
    m_current = current;
    if (NetworkAddress::isServer(current) && !m_servers.contains(current))
        m_servers.prepend(current);
    m_shown.clear();
    m_list->clear(); // rebuilt: the servers and the current port may differ from last time
    refresh();
    m_path->setText(current);
    m_path->selectAll();
    adjustSize();
    // Below the status line when it fits, else above it: the status line is the
    // window's bottom edge.
    QPoint at = anchor.bottomLeft() + QPoint(0, 1);
    if (const QScreen *screen = QGuiApplication::screenAt(anchor.center())) {
        const QRect room = screen->availableGeometry();
        if (at.y() + height() > room.bottom())
            at.setY(anchor.top() - height() - 1);
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
    }
    move(at);
    show();
    activateWindow();
    m_list->setFocus(Qt::PopupFocusReason);
}

void PortPicker::showEvent(QShowEvent *event)
{
    m_poll.start();
    QFrame::showEvent(event);
}

void PortPicker::hideEvent(QHideEvent *event)
{
    m_poll.stop();
    QFrame::hideEvent(event);
}

void PortPicker::refresh()
{
    const QList<SerialPortEntry> ports = m_source();
    if (ports == m_shown && m_list->count() > 0)
        return; // unchanged: keep the user's selection and scroll position
    m_shown = ports;
    m_list->clear();
    for (const SerialPortEntry &port : ports) {
        QString text = port.name();
        if (!port.stableName.isEmpty())
            text += QStringLiteral("  (%1)").arg(port.device);
        if (port.systemConsole)
            text += QStringLiteral("\n    ") + windowWord(WindowWord::systemConsole);
        if (const QString about = port.about(); !about.isEmpty())
            text += QStringLiteral("\n    ") + about;
        auto *item = new QListWidgetItem(text, m_list);
        if (port.systemConsole)
            item->setFlags(Qt::NoItemFlags); // shown, so that its absence is not a puzzle; never chosen
        item->setData(Qt::UserRole, port.name());
        item->setToolTip(text);
        if (port.isNamed(m_current)) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            m_list->setCurrentItem(item);
        }
    }
    for (const QString &server : std::as_const(m_servers)) {
        auto *item = new QListWidgetItem(server, m_list);
        item->setData(Qt::UserRole, server);
        if (server == m_current) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            m_list->setCurrentItem(item);
        }
    }
    if (ports.isEmpty()) {
        auto *item = new QListWidgetItem(windowWord(WindowWord::noPorts), m_list);
        item->setFlags(Qt::NoItemFlags);
    }
    // As tall as its ports, up to a handful; more scroll.
    int rows = 0;
    for (int i = 0; i < std::min(m_list->count(), kMostRowsShown); ++i)
        rows += m_list->sizeHintForRow(i);
    m_list->setFixedHeight(rows + 2 * m_list->frameWidth() + 4);
    if (isVisible())
        adjustSize();
}

void PortPicker::onItem(QListWidgetItem *item)
{
    if (const QString port = item->data(Qt::UserRole).toString(); !port.isEmpty())
        choose(port);
}

void PortPicker::choose(const QString &port)
{
    if (!isVisible())
        return; // a click and the activation it brings: one choice
    hide();
    if (NetworkAddress::isServer(port)) {
        m_servers.removeAll(port);
        m_servers.prepend(port);
    }
    emit chosen(port);
}

} // namespace kvp
