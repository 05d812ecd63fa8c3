#pragma once

#include "reader/CycleSettings.h"

#include <QObject>

class QMenu;
class QWidget;

namespace kvp {

class ReadSession;
class WindowMemory;

// The line's entries of the status line's menu: the port list (Ctrl+P, anywhere in
// the window), dropping the RS-485 echo, and the reply time-out.
class LineMenu : public QObject
{
    Q_OBJECT

public:
    LineMenu(QWidget &window, QMenu *menu, ReadSession &session, WindowMemory &memory);

    // Asks for the time-out, and reads on with it.
    void askTimeout();
    // Applies and keeps the line's settings.
    void apply(const CycleSettings &settings);

signals:
    void portListAsked();
    // The line's settings changed: what the window shows of them may have too.
    void changed();

private:
    QWidget &m_window;
    ReadSession &m_session;
    WindowMemory &m_memory;
};

} // namespace kvp
