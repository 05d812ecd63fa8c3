#pragma once

#include "app/WindowText.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace kvp {

class StatusLine;

// The one way the window says a condition, as the console has its texts: the words
// come from WindowText; what needs to be read goes into a message box, one at a
// time and not modal, so Stop and Close work while it is up; what is only worth
// knowing goes after the state on the status line, where it gives way.
class WindowNotices : public QObject
{
    Q_OBJECT

public:
    // `facts` are the session's as the window words them (simulated or not).
    WindowNotices(QWidget &window, StatusLine &line, std::function<Facts()> facts);
    // A box shown before the window was has no parent: it goes with the window all the same.
    ~WindowNotices() override;

    // The condition's message in a box; a new one replaces the one before.
    void tell(Condition condition);
    void tell(Condition condition, const Facts &facts);
    // A file that could not be written: the system's reason and what to do about it.
    void fileTrouble(Condition condition, const QString &file, const QString &reason, int error);
    // What a box said is no longer true.
    void closeBox();
    QMessageBox *box() const { return m_box; }
    // On the status line, after the state.
    void note(const QString &text, const QString &detail = {});
    // Before any window is up: a box that must be answered.
    static void refuse(const WindowText &text);

private:
    void showBox(const QString &title, const QString &message);

    QWidget &m_window;
    StatusLine &m_line;
    std::function<Facts()> m_facts;
    QPointer<QMessageBox> m_box;
};

} // namespace kvp
