#include "WindowNotices.h"

#include "StatusLine.h"

#include <QMessageBox>
#include <QWidget>

namespace kvp {

WindowNotices::WindowNotices(QWidget &window, StatusLine &line, std::function<Facts()> facts)
    : QObject(&window), m_window(window), m_line(line), m_facts(std::move(facts))
{
}

void WindowNotices::tell(Condition condition)
{
    tell(condition, m_facts());
}

void WindowNotices::tell(Condition condition, const Facts &facts)
{
    const WindowText text = windowText(condition, facts);
    if (!text.message.isEmpty())
        showBox(text.title, text.message);
}

void WindowNotices::fileTrouble(Condition condition, const QString &file, const QString &reason, int error)
{
    Facts facts = m_facts();
    facts.file = file;
    facts.detail = reason;
    facts.error = error;
    tell(condition, facts);
}

WindowNotices::~WindowNotices()
{
    delete m_box;
}

void WindowNotices::closeBox()
{
    if (m_box)
        m_box->close();
}

void WindowNotices::note(const QString &text, const QString &detail)
{
    m_line.notify(text, detail);
}

void WindowNotices::refuse(const WindowText &text)
{
    QMessageBox box(QMessageBox::Critical, text.title, text.message, QMessageBox::Ok);
    box.exec();
}

void WindowNotices::showBox(const QString &title, const QString &message)
{
    closeBox();
    // Before the window is shown (its port failed at start) the box has no parent to
    // sit over; it closes itself when what it says is no longer true.
    m_box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok,
                            m_window.isVisible() ? &m_window : nullptr);
    m_box->setAttribute(Qt::WA_DeleteOnClose);
    m_box->setWindowModality(Qt::NonModal);
    m_box->show();
}

} // namespace kvp
