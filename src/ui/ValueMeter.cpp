#include "ValueMeter.h"

#include "FontFit.h"
#include "FullScreenValue.h"
#include "PanelStack.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace kvp {
namespace {

constexpr int kFormWidth = 468;
constexpr int kFormHeight = 284;
// Above this line of the form is the value's room; below it the address, the buttons
// and the status line.
constexpr int kValueRoomBottom = 116;
constexpr int kMargin = 8;

} // namespace

ValueMeter::ValueMeter(QWidget &window, QLabel *value, std::vector<QWidget *> form, QWidget *statusRow,
                       PanelStack *panels)
    : QObject(&window), m_window(window), m_value(value), m_statusRow(statusRow), m_statusRect(statusRow->geometry()),
      m_panels(panels), m_valueRect(value->geometry()),
      m_valueFont(value->font()), m_valueAlignment(value->alignment()), m_widest(widestValueText())
{
    for (QWidget *w : form)
        m_form.emplace_back(w, w->geometry());
    m_action = new QAction(tr("全屏显示数值"), &window);
    m_action->setObjectName(QStringLiteral("FullScreenAction"));
    m_action->setShortcut(QKeySequence(Qt::Key_F11));
    m_action->setCheckable(true);
    m_action->setToolTip(tr("只显示数值, 全屏 (F11; F11 或 Esc 返回)"));
    connect(m_action, &QAction::toggled, this, &ValueMeter::setFullScreen);
    window.addAction(m_action);
    window.installEventFilter(this);
}

ValueMeter::~ValueMeter()
{
    delete m_full;
}

void ValueMeter::setUnitText(const QString &unit)
{
    m_unit = unit;
    if (m_full)
        m_full->setUnit(unit);
}

void ValueMeter::showValue(const QString &text, const QColor &colour)
{
    m_colour = colour;
    // The caption of the form keeps its place; a number is right-aligned, so its
    // last digit stays put when its length changes.
    // A value beyond a limit begins with its symbol, ▲ or ▼.
    // "—", no value yet, stands where a number would.
    const bool number = !text.isEmpty()
                        && (text.front().isDigit() || text.front() == QLatin1Char('-') || text.front() == QChar(0x25B2)
                            || text.front() == QChar(0x25BC) || text.front() == QChar(0x2014));
    m_value->setAlignment(number ? (Qt::AlignRight | Qt::AlignVCenter) : m_valueAlignment);
    if (m_full)
        m_full->setValue(text, colour);
}

void ValueMeter::setWidest(const QString &widest)
{
    if (widest == m_widest)
        return;
    m_widest = widest;
    // Read by UnitsAndLimits::showOn, which fits the value's font to the label.
    m_value->setProperty("kvpWidest", widest);
    if (m_full)
        m_full->setWidest(widest);
    layOut();
}

void ValueMeter::showState(const QString &state)
{
    m_state = state;
    if (m_full)
        m_full->setState(state);
}

FullScreenValue *ValueMeter::fullScreenView() const
{
    return m_full;
}

bool ValueMeter::fullScreen() const
{
    return m_full && m_full->isVisible();
}

void ValueMeter::setFullScreen(bool on)
{
    if (m_action->isChecked() != on)
        m_action->setChecked(on); // comes back here through toggled()
    if (on == fullScreen())
        return;
    if (!on) {
        m_full->hide();
        m_window.activateWindow();
        return;
    }
    if (!m_full) {
        m_full = new FullScreenValue(m_valueFont);
        m_full->setWindowTitle(m_window.windowTitle());
        m_full->setWindowIcon(m_window.windowIcon());
        connect(m_full, &FullScreenValue::closeRequested, this, [this] { setFullScreen(false); });
    }
    m_full->setPalette(m_window.palette());
    m_full->setValue(m_value->text(), m_colour.isValid() ? m_colour : m_value->palette().color(QPalette::WindowText));
    m_full->setUnit(m_unit);
    m_full->setWidest(m_widest);
    m_full->setState(m_state);
    // On the window's screen, and as large as it even where no window manager
    // acts on the request for full screen.
    if (const QScreen *screen = m_window.screen())
        m_full->setGeometry(screen->geometry());
    m_full->showFullScreen();
    m_full->activateWindow();
}

void ValueMeter::layOut()
{
    const int panels = m_panels ? m_panels->height() : 0;
    const int width = m_window.width();
    const int height = std::max(kFormHeight, m_window.height() - panels);
    const int dx = std::max(0, (width - kFormWidth) / 2);
    const int dy = height - kFormHeight;
    for (const auto &[w, rect] : m_form)
        w->setGeometry(rect.translated(dx, dy));
    // The status line has more to say than the form's width holds: it takes the window's.
    const int margin = m_statusRect.x();
    m_statusRow->setGeometry(margin, m_statusRect.y() + dy, width - 2 * margin, m_statusRect.height());
    if (m_panels)
        m_panels->place();
    const qreal scale = std::min(qreal(width) / kFormWidth, qreal(height) / kFormHeight);
    if (scale <= 1.0) {
        m_value->setFont(m_valueFont);
        m_value->setGeometry(m_valueRect);
        return;
    }
    // The value grows with the window, up to what fits above the address row.
    const int roomBottom = kValueRoomBottom + dy;
    const QSize room(width - 2 * kMargin, roomBottom - 2 * kMargin);
    QFont font = m_valueFont;
    font.setPointSizeF(m_valueFont.pointSizeF() * scale);
    const QFont fitting = fittingFont(m_valueFont, m_widest, room);
    if (fitting.pointSizeF() < font.pointSizeF())
        font = fitting;
    m_value->setFont(font);
    const QFontMetrics metrics(font);
    const int boxWidth = std::min(room.width(), std::max(int(m_valueRect.width() * scale),
                                                          metrics.horizontalAdvance(m_widest) + 4));
    const int boxHeight = std::min(room.height(), std::max(int(m_valueRect.height() * scale), metrics.height()));
    // Centred across, and where the form has it down its room.
    const qreal down = qreal(m_valueRect.center().y()) / kValueRoomBottom;
    const int centreY = std::clamp(int(roomBottom * down), kMargin + boxHeight / 2, roomBottom - kMargin - boxHeight / 2);
    m_value->setGeometry((width - boxWidth) / 2, centreY - boxHeight / 2, boxWidth, boxHeight);
}

bool ValueMeter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Resize)
        layOut();
    return QObject::eventFilter(watched, event);
}

} // namespace kvp
