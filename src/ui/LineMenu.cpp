#include "LineMenu.h"

#include "WindowMemory.h"

#include "app/ReadSession.h"
#include "app/WindowText.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QWidget>

namespace kvp {
namespace {

constexpr int kShortestTimeoutMs = 50;
constexpr int kLongestTimeoutMs = 60'000;

} // namespace

LineMenu::LineMenu(QWidget &window, QMenu *menu, ReadSession &session, WindowMemory &memory)
    : QObject(&window), m_window(window), m_session(session), m_memory(memory)
{
    auto *pickPort = menu->addAction(windowWord(WindowWord::portMenuEntry), this, &LineMenu::portListAsked);
    pickPort->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    window.addAction(pickPort); // the shortcut works wherever the focus is in the window

    auto *echo = menu->addAction(windowWord(WindowWord::echoMenuEntry));
    echo->setObjectName(QStringLiteral("EchoAction"));
    echo->setCheckable(true);
    echo->setChecked(session.cycleSettings().dropEcho);
    connect(echo, &QAction::toggled, this, [this](bool on) {
        CycleSettings settings = m_session.cycleSettings();
        settings.dropEcho = on;
        apply(settings);
    });
    menu->addAction(windowWord(WindowWord::timeoutMenuEntry), this, &LineMenu::askTimeout);
}

void LineMenu::apply(const CycleSettings &settings)
{
    m_session.setCycleSettings(settings);
    m_memory.saveLine(settings);
    emit changed();
}

void LineMenu::askTimeout()
{
    CycleSettings settings = m_session.cycleSettings();
    bool ok = false;
    const int ms = QInputDialog::getInt(&m_window, windowWord(WindowWord::timeoutTitle),
                                        windowWord(WindowWord::timeoutQuestion).arg(kShortestTimeoutMs).arg(kLongestTimeoutMs),
                                        static_cast<int>(settings.replyTimeout.count()), kShortestTimeoutMs,
                                        kLongestTimeoutMs, 50, &ok);
    if (!ok)
        return;
    settings.replyTimeout = milliseconds(ms);
    settings.adaptTimeout = false;
    apply(settings);
}

} // namespace kvp
