#include "FullScreenValue.h"

#include "FontFit.h"

#include <QHBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace kvp {
namespace {

// Shares of the screen: the value's line, and the unit and the state beside and below it.
constexpr qreal kValueWidth = 0.8;
constexpr qreal kValueHeight = 0.6;
constexpr qreal kSmallHeight = 0.12;

} // namespace

FullScreenValue::FullScreenValue(const QFont &valueFont, QWidget *parent)
    : QWidget(parent, Qt::Window), m_value(new QLabel(this)), m_unit(new QLabel(this)), m_state(new QLabel(this))
{
    setObjectName(QStringLiteral("FullScreenValue"));
    setAutoFillBackground(true);
    m_value->setObjectName(QStringLiteral("FullScreenNumber"));
    m_value->setFont(valueFont);
    // Right-aligned in a box as wide as the widest value: the last digit stays put.
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_unit->setObjectName(QStringLiteral("FullScreenUnit"));
    m_unit->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_unit->setFont(valueFont);
    m_unit->hide();
    m_state->setObjectName(QStringLiteral("FullScreenState"));
    m_state->setAlignment(Qt::AlignCenter);
    m_state->setWordWrap(true); // a long state in a large font: on two lines rather than cut
    m_widest = widestValueText();

    auto *line = new QHBoxLayout;
    line->addStretch(1);
    line->addWidget(m_value);
    line->addWidget(m_unit);
    line->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addLayout(line);
    layout->addWidget(m_state);
    layout->addStretch(1);
}

void FullScreenValue::setValue(const QString &text, const QColor &colour)
{
    m_value->setText(text);
    nameValue();
    QPalette palette = m_value->palette();
    palette.setColor(QPalette::WindowText, colour);
    m_value->setPalette(palette);
    m_unit->setPalette(palette);
}

void FullScreenValue::setUnit(const QString &unit)
{
    m_unit->setText(unit);
    m_unit->setVisible(!unit.isEmpty());
    nameValue();
    fit();
}

void FullScreenValue::setState(const QString &state)
{
    const bool fitAgain = state.size() != m_state->text().size();
    m_state->setText(state);
    nameValue();
    if (fitAgain)
        fit();
}

void FullScreenValue::setWidest(const QString &widest)
{
    if (widest == m_widest)
        return;
    m_widest = widest;
    fit();
}

void FullScreenValue::nameValue()
{
    // Heard as it is seen: the value, its unit, and what the reader is doing.
    QStringList parts{m_value->text()};
    if (!m_unit->text().isEmpty())
        parts.first() += QLatin1Char(' ') + m_unit->text();
    if (!m_state->text().isEmpty())
        parts << m_state->text();
    m_value->setAccessibleName(parts.join(QStringLiteral(", ")));
}

void FullScreenValue::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F11 || event->key() == Qt::Key_Escape) {
        emit closeRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FullScreenValue::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager: the window's F11 is to know it is off.
    event->ignore();
    emit closeRequested();
}

void FullScreenValue::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fit();
}

void FullScreenValue::fit()
{
    const QSize room = size();
    const QSize smallRoom(room.width(), int(room.height() * kSmallHeight));
    const QFont small = fittingFont(font(), QStringLiteral("Mg"), smallRoom);
    // The state on one line across the screen if it can be read so, else on two.
    const QSize stateRoom(int(room.width() * kValueWidth), smallRoom.height());
    QFont state = fittingFont(small, m_state->text(), stateRoom, small.pointSizeF());
    if (state.pointSizeF() < small.pointSizeF() / 2)
        state = fittingFont(small, m_state->text().left((m_state->text().size() + 1) / 2) + QStringLiteral("MM"),
                            QSize(stateRoom.width(), stateRoom.height() / 2), small.pointSizeF());
    m_state->setFont(state);
    m_unit->setFont(small);
    const int unitWidth = m_unit->text().isEmpty() ? 0 : QFontMetrics(small).horizontalAdvance(m_unit->text() + QLatin1Char(' '));
    const QSize valueRoom(int(room.width() * kValueWidth) - unitWidth, int(room.height() * kValueHeight));
    const QFont big = fittingFont(m_value->font(), m_widest, valueRoom);
    m_value->setFont(big);
    m_value->setFixedSize(QFontMetrics(big).horizontalAdvance(m_widest) + 4, QFontMetrics(big).height());
}

} // namespace kvp
