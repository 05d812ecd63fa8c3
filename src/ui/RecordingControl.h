#pragma once

#include "app/Recording.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QAction;
class QLabel;
class QWidget;

namespace kvp {

class ReadSession;
class WindowNotices;

// Recording every value to a CSV file (Ctrl+R): the file is asked for, the rows are
// counted on the status line while it runs, and where they went is said when it stops.
class RecordingControl : public QObject
{
    Q_OBJECT

public:
    // `action` is the menu's "start/stop recording"; `label` sits on the status line.
    RecordingControl(QWidget &window, ReadSession &session, WindowNotices &notices, QAction *action, QLabel *label);

    // Asks for a file when `path` is empty. Shows why, and returns false, when it
    // cannot be written.
    bool start(const QString &path = {});
    void stop();
    void toggle();
    const Recording &recording() const { return m_recording; }
    // A value of `address` came; `raw` is the count the module sent, if it sent one.
    void add(int address, const QString &text);

signals:
    // The label changed its size: the status line lays itself out again.
    void labelChanged();

private:
    void showState();
    void failed();

    QWidget &m_window;
    ReadSession &m_session;
    WindowNotices &m_notices;
    QAction *m_action;
    QLabel *m_label;
    Recording m_recording;
    QTimer m_labelTimer; // the row count follows a few times a second, not per value
};

} // namespace kvp
