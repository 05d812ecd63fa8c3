#pragma once

#include "PortPicker.h"
#include "StatusRow.h"
#include "ValueColours.h"

#include "app/ReadSession.h"
#include "app/WindowText.h"

#include <QWidget>

#include <memory>
#include <optional>

class QMenu;

namespace Ui {
class frmMain;
}

namespace kvp {

class LineDetails;
class LineMenu;
class StatusLine;
class StatusRow;
class ValueMeter;
class ValueView;
class WindowMemory;
class WindowNotices;

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

    // What to do when the port cannot be opened at start.
    enum class OnPortFailure {
        refuse, // the user named the port: tell why in a message box; the window must not be shown
        carryOn, // a port the program chose: say why on the status line, the port list one click away
    };
    // Opens the port before the window is shown. Returns false only when it refuses.
    bool Form_Load(OnPortFailure onFailure = OnPortFailure::refuse);
    // Marks the window as reading a simulated module, so nobody takes its values as real.
    void setSimulated(bool simulated);
    void setAddressText(const QString &text);
    void setValueLog(ValueLog *log)
    {
        m_log = log;
        ctrMSComm.setValueLog(log);
    }
    // The trend, recording, copying and finding the module.
    WindowExtras *extras() const { return m_extras; }
    // For whoever else follows the values (publishing them to a broker).
    ReadSession &session() { return ctrMSComm; }
    // Where the port list comes from; the machine's own ports unless a test says otherwise.
    void setPortSource(PortPicker::Source source);
    // Keep the port and line settings of each Read, and the window's position, for the next start.
    void setRemembering(bool remember);

    // The status line, for whoever adds to it (see StatusRow), and its message area.
    StatusRow *statusRow() const { return m_statusRow; }
    StatusLine *statusLine() const { return m_line; }
    // How the window says a condition: a message box, or a notice on the status line.
    WindowNotices *notices() const { return m_notices; }
    // The big value and the module it belongs to.
    ValueView *valueView() const { return m_view; }
    QMenu *statusMenu() const { return m_statusRow->statusMenu(); }
    // Opens the port list under the port on the status line (Ctrl+P, or a click on it).
    void openPortList();
    // The value as a meter: the window made larger, full screen (F11), the unit.
    ValueMeter *meter() const { return m_meter; }
    // Values per second and the traffic view (Ctrl+M).
    LineDetails *lineDetails() const { return m_lineDetails; }

protected:
    // Hovering over the value or the status line shows the counters of the run.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Read_Click();
    // What the window shows for read()'s answer, at once or once the connection is made.
    void readAnswered(Condition failure);
    void Stop_Click();
    void Quit_Click();
    void KVPAdr_Change(const QString &text);
    void onValue(const QString &text, int address);
    void onModuleListChanged(const QList<int> &addresses);
    void onPortFailed(Condition failure);
    void onPortRestored();
    void onPortChosen(const QString &port);
    // Shows what is true now: the state and port on the status line, the value's colour.
    void showState();
    // The window's words for a condition of this window's session.
    WindowText textFor(Condition condition) const;
    Facts textFacts() const;
    // Everything outside the original form: a panel below it, shortcuts, and a few
    // buttons at the end of the status line.
    void installExtras();
    void installMeter();

    std::unique_ptr<Ui::frmMain> ui;
    ReadSession ctrMSComm;
    StatusRow *m_statusRow = nullptr;
    StatusLine *m_line = nullptr;
    WindowNotices *m_notices = nullptr;
    ValueView *m_view = nullptr;
    LineMenu *m_lineMenu = nullptr;
    WindowMemory *m_memory = nullptr;
    PortPicker *m_picker = nullptr;
    ValueColours m_colours;
    bool m_simulated = false;
    WindowExtras *m_extras = nullptr; // a child QObject of the window
    ValueLog *m_log = nullptr; // of --log; reading goes on without it once it fails

    // The address box holds no valid address; while reading, the last valid one is read on.
    bool m_addressKept = false;
    ValueMeter *m_meter = nullptr;
    LineDetails *m_lineDetails = nullptr;
    // Why no port is open, when none is.
    Condition m_portFailure = Condition::none;
    // The connection being made was asked for by Read: its failure is told as Read's.
    bool m_readAsked = false;
};

} // namespace kvp
