#include "ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace kvp {

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent) {}

QRect ElidedLabel::textRect() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

bool ElidedLabel::elided() const
{
    return fontMetrics().horizontalAdvance(text()) > textRect().width();
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), m_mode, textRect().width());
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    update();
}

void ElidedLabel::setKeptText(const QString &kept)
{
    if (kept == m_kept)
        return;
    m_kept = kept;
    updateGeometry();
}

QSize ElidedLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint();
    const QString least = m_kept.isEmpty() || m_kept == text() ? (m_kept.isEmpty() ? QStringLiteral("…") : m_kept)
                                                               : m_kept + QStringLiteral("…");
    // One pixel over: elidedText() wants the room a hair wider than the words it keeps.
    size.setWidth(fontMetrics().horizontalAdvance(least) + 1 + 2 * margin() + contentsMargins().left()
                  + contentsMargins().right());
    return size;
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, textRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

} // namespace kvp
