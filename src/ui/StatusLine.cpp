#include "StatusLine.h"

#include "ElidedLabel.h"

#include <QCoreApplication>
#include <QEvent>

namespace kvp {
namespace {

// The words that say what the reader is doing come before its advice or detail
// ("设备已断开, 等待它回来", "Reading; replies are slow…"): those stay whole.
QString stateWords(const QString &state)
{
    static const QString marks = QStringLiteral(";:,(；：，（");
    for (qsizetype i = 0; i < state.size(); ++i)
        if (marks.contains(state.at(i)))
            return state.left(i).trimmed();
    return state;
}

} // namespace

StatusLine::StatusLine(ElidedLabel *label, QObject *parent) : QObject(parent), m_label(label), m_state(label->text())
{
    m_expiry.setSingleShot(true);
    m_expiry.setInterval(kNoticeLifetime);
    connect(&m_expiry, &QTimer::timeout, this, &StatusLine::dismiss);
    m_label->installEventFilter(this);
    write();
}

void StatusLine::setState(const QString &state)
{
    if (state == m_state)
        return;
    // What is true now outranks what was worth knowing a moment ago.
    m_state = state;
    m_notice.clear();
    m_detail.clear();
    m_expiry.stop();
    write();
}

void StatusLine::notify(const QString &notice, const QString &detail)
{
    m_notice = notice;
    m_detail = detail;
    m_expiry.start();
    write();
}

void StatusLine::dismiss()
{
    m_expiry.stop();
    if (m_notice.isEmpty())
        return;
    m_notice.clear();
    m_detail.clear();
    write();
}

QString StatusLine::fullText() const
{
    return m_detail.isEmpty() ? m_label->text() : m_label->text() + QLatin1Char('\n') + m_detail;
}

void StatusLine::write()
{
    m_label->setText(m_notice.isEmpty() ? m_state
                                        : QCoreApplication::translate("kvp", "%1 · %2").arg(m_state, m_notice));
    m_label->setAccessibleDescription(fullText());
    m_label->setKeptText(stateWords(m_state));
}

bool StatusLine::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_label && event->type() == QEvent::MouseButtonRelease && !m_notice.isEmpty())
        dismiss(); // read: it may go
    return QObject::eventFilter(watched, event);
}

} // namespace kvp
