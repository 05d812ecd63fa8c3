#pragma once

#include "app/ReadSession.h"

#include "app/WindowText.h"

#include <QWidget>

#include <memory>

namespace Ui {
class frmMain;
}

namespace kvp {

// The program's one window: the address box, the value display, Read, Stop, Quit,
// and a status line. It owns the session, which owns the port.
//
// Names keep the form's old convention: an event handler is its control's name and
// the event's, joined by an underscore (Read_Click, Form_Load); fields carry a
// lower-case prefix for their type (ctr for a control such as the port ctrMSComm,
// bol for a flag, byt for bytes, int for a 16-bit integer).
class WindowExtras;

class frmMain : public QWidget
{
    Q_OBJECT

public:
    frmMain(const PortSettings &port, CycleSettings cycle, QWidget *parent = nullptr);
    ~frmMain() override;

    // Opens the port before the window is shown. On failure the user has been told
    // why in a message box, and the window must not be shown.
    bool Form_Load();
    // Marks the window as reading a simulated module, so nobody takes its values as real.
    void setSimulated(bool simulated);
    void setAddressText(const QString &text);
    void setValueLog(ValueLog *log) { ctrMSComm.setValueLog(log); }
    // The trend, recording, copying and finding the module.
    WindowExtras *extras() const { return m_extras; }

protected:
    // Hovering over the value or the status line shows the counters of the run.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Read_Click();
    void Stop_Click();
    void Quit_Click();
    void onValue(const QString &text);
    void onCondition(Condition condition);
    void onPortFailed(Condition failure);
    // The window's words for a condition of this window's session.
    WindowText textFor(Condition condition) const;
    void setDisplayLive(bool live);
    void tell(const QString &message, bool modal);
    // Everything outside the original form: a panel below it, shortcuts, and a few
    // buttons at the end of the status line.
    void installExtras();

    std::unique_ptr<Ui::frmMain> ui;
    ReadSession ctrMSComm;
    bool m_simulated = false;
    WindowExtras *m_extras = nullptr; // a child QObject of the window
};

} // namespace kvp
