#include "frmMain.h"


#include "AppIcon.h"
#include "FontFit.h"
#include "FormLook.h"
#include "HalfWidthValidator.h"
#include "LineDetails.h"
#include "LineMenu.h"
#include "ModuleListPanel.h"
#include "StatusLine.h"
#include "StatusRow.h"
#include "UnitsAndLimits.h"
#include "ValueMeter.h"
#include "ValueView.h"
#include "WindowExtras.h"
#include "WindowMemory.h"
#include "WindowNotices.h"
#include "ui_frmMain.h"

#include "app/ConditionOf.h"
#include "protocol/Address.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>
#include <QToolTip>

#include <utility>

namespace kvp {
namespace {

bool isDeviceGone(Condition condition)
{
    return condition == Condition::deviceRemoved || condition == Condition::writeFailed
        || condition == Condition::connectionLost;
}

} // namespace

frmMain::frmMain(const PortSettings &port, CycleSettings cycle, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmMain>()), ctrMSComm(port, cycle)
{
    ui->setupUi(this);
    // The form's own size to start with, and never less; made larger, the form
    // stays centred and the value grows (ValueMeter). Qt scales it on dense screens.
    setMinimumSize(468, 284);
    resize(468, 284);
    setWindowIcon(appIcon());

    const QFont sans = dressForm(*ui);
    m_statusRow = new StatusRow(ui->StatusText, this);
    m_statusRow->portButton()->setFont(sans);
    m_line = new StatusLine(ui->StatusText, this);
    m_notices = new WindowNotices(*this, *m_line, [this] { return textFacts(); });
    m_view = new ValueView(ui->DataText, ui->KVPAdr, ctrMSComm, this);
    m_memory = new WindowMemory(*m_notices, this);
    m_picker = new PortPicker(serialPorts, this);

    m_lineMenu = new LineMenu(*this, statusMenu(), ctrMSComm, *m_memory);
    connect(m_lineMenu, &LineMenu::portListAsked, this, &frmMain::openPortList);
    connect(m_lineMenu, &LineMenu::changed, this, &frmMain::showState);

    connect(ui->Read, &QPushButton::clicked, this, &frmMain::Read_Click);
    connect(ui->Stop, &QPushButton::clicked, this, &frmMain::Stop_Click);
    connect(ui->Quit, &QPushButton::clicked, this, &frmMain::Quit_Click);
    // The keyboard alone reads and stops: Enter in the address box is Read, Esc is Stop.
    connect(ui->KVPAdr, &QLineEdit::returnPressed, this, &frmMain::Read_Click);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &frmMain::Stop_Click);
    connect(ui->KVPAdr, &QLineEdit::textChanged, this, &frmMain::KVPAdr_Change);
    // Typed through an input method, "１２" is address 12 too.
    ui->KVPAdr->setValidator(new HalfWidthValidator(ui->KVPAdr));
    connect(&ctrMSComm, &ReadSession::valueShown, this, &frmMain::onValue);
    connect(&ctrMSComm, &ReadSession::conditionChanged, this, &frmMain::showState);
    connect(&ctrMSComm, &ReadSession::portFailed, this, &frmMain::onPortFailed);
    connect(&ctrMSComm, &ReadSession::portRestored, this, &frmMain::onPortRestored);
    // A serial server is connected to while the window goes on; the outcome lands
    // where the open that asked for it would have put it.
    connect(&ctrMSComm, &ReadSession::opened, this, [this](Condition outcome) {
        if (std::exchange(m_readAsked, false)) {
            readAnswered(outcome);
            return;
        }
        m_portFailure = outcome;
        showState();
    });
    connect(&ctrMSComm, &ReadSession::moduleConditionChanged, this, &frmMain::showState);
    // Said once, on the status line, until the state changes: values flow at the module's pace.
    connect(&ctrMSComm, &ReadSession::timeoutGrown, this, [this](int ms, int address) {
        if (!m_extras->isShownModule(address))
            return; // another module on the bus: its row in the list shows its reply time
        Facts facts = ctrMSComm.facts();
        facts.count = ms;
        m_line->setState(windowText(Condition::timeoutGrown, facts).status);
    });
    connect(&ctrMSComm, &ReadSession::logFailed, this, [this] {
        if (m_log)
            m_notices->fileTrouble(Condition::logWriteFailed, m_log->path(), m_log->errorString(), m_log->error());
    });
    connect(m_statusRow, &StatusRow::portClicked, this, &frmMain::openPortList);
    connect(m_picker, &PortPicker::chosen, this, &frmMain::onPortChosen);
    ctrMSComm.setAddressText(ui->KVPAdr->text());
    m_colours = valueColoursOn(palette().color(QPalette::Window));
    setSimulated(false);
    ui->KVPAdr->setFocus();
    ui->DataText->installEventFilter(this);
    ui->StatusText->installEventFilter(this);
    installExtras();
    installMeter();
}

void frmMain::installMeter()
{
    m_meter = new ValueMeter(*this, ui->DataText, {ui->Label1, ui->KVPAdr, ui->Read, ui->Stop, ui->Quit}, m_statusRow,
                             m_extras->panels());
    m_view->setMeter(m_meter);
    m_lineDetails = new LineDetails(*this, ctrMSComm, m_statusRow);
    statusMenu()->addSeparator();
    statusMenu()->addAction(m_meter->fullScreenAction());
    statusMenu()->addAction(m_lineDetails->trafficAction());
    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : {ui->Read, ui->Stop, ui->Quit})
        button->installEventFilter(this);
    m_statusRow->followInTabOrder(ui->Quit);
    showState();
}

void frmMain::installExtras()
{
    m_extras = new WindowExtras(*this, ctrMSComm, *m_view, ui->KVPAdr, *m_notices);
    m_extras->attachTo(m_statusRow, statusMenu());
    m_extras->modules()->setColours(m_colours);
    connect(m_extras->modules(), &ModuleListPanel::addressesChanged, this, &frmMain::onModuleListChanged);
    connect(m_extras, &WindowExtras::readAllFound, this, &frmMain::Read_Click);
    connect(m_extras->units(), &UnitsAndLimits::changed, this, &frmMain::showState);
    connect(m_extras, &WindowExtras::trendChoiceChanged, this,
            [this] { m_memory->saveTrend(m_extras->trendOpen(), *m_extras->trend()); });
}

void frmMain::onModuleListChanged(const QList<int> &addresses)
{
    m_memory->saveModules(addresses);
    // While reading, a module added or removed is asked at once, not at the next Read.
    if (ctrMSComm.cycle().reading() && validAddress(ui->KVPAdr->text().toStdString()))
        Read_Click();
}

frmMain::~frmMain()
{
    delete m_extras; // while the session it may have borrowed the port from still lives
}

bool frmMain::Form_Load(OnPortFailure onFailure)
{
    const Condition failure = ctrMSComm.open();
    if (failure == Condition::none)
        return true;
    // A connection still being made can no longer keep the window from coming up:
    // its failure goes on the status line.
    if (failure != Condition::connecting && onFailure == OnPortFailure::refuse) {
        WindowNotices::refuse(textFor(failure));
        return false;
    }
    m_portFailure = failure;
    showState();
    return true;
}

void frmMain::setSimulated(bool simulated)
{
    m_simulated = simulated;
    setWindowTitle(textFor(Condition::ready).title);
    showState();
}

void frmMain::setRemembering(bool remember)
{
    m_memory->setOn(remember);
}

void frmMain::setAddressText(const QString &text)
{
    ui->KVPAdr->setText(text);
}

void frmMain::setPortSource(PortPicker::Source source)
{
    delete m_picker;
    m_picker = new PortPicker(std::move(source), this);
    connect(m_picker, &PortPicker::chosen, this, &frmMain::onPortChosen);
}

void frmMain::openPortList()
{
    m_picker->popUp(ctrMSComm.portName(), QRect(m_statusRow->mapToGlobal(QPoint(0, 0)), m_statusRow->size()));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (auto *button = qobject_cast<QPushButton *>(watched); button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click();
            return true;
        }
    }
    if (event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    // Worked out when asked for, not on every value. Over the status line, the whole
    // line first (a long one ends in "…"), then the whole reason, which it only names.
    const bool line = watched == ui->StatusText;
    QString text = line ? m_line->fullText() + QLatin1Char('\n') : QString();
    if (line && m_portFailure != Condition::none)
        text += textFor(m_portFailure).message;
    else
        text += ctrMSComm.status().phase == CyclePhase::ready ? textFor(Condition::ready).hint : m_view->countsTip();
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text, static_cast<QWidget *>(watched));
    return true;
}

void frmMain::changeEvent(QEvent *event)
{
    // A theme switched while running: the blue must stay readable on the new background.
    if (event->type() == QEvent::PaletteChange) {
        m_colours = valueColoursOn(palette().color(QPalette::Window));
        if (m_extras)
            m_extras->modules()->setColours(m_colours);
        showState();
    }
    QWidget::changeEvent(event);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    m_memory->savePosition(pos());
    QWidget::closeEvent(event);
}

void frmMain::Read_Click()
{
    m_extras->followModuleList();
    // After the device went away, Read also tries to open it again at once.
    readAnswered(ctrMSComm.read());
}

void frmMain::readAnswered(Condition failure)
{
    if (failure == Condition::connecting) {
        m_readAsked = true;
        if (!isDeviceGone(m_portFailure))
            m_portFailure = failure;
        showState();
        return;
    }
    if (failure == Condition::invalidAddress) {
        // Said on the status line, nothing over the value; back to the box, ready
        // to type over. The next state replaces the words.
        m_line->setState(textFor(failure).message);
        ui->KVPAdr->setFocus(Qt::OtherFocusReason);
        ui->KVPAdr->selectAll();
        return;
    }
    if (failure != Condition::none) {
        if (!isDeviceGone(m_portFailure))
            m_portFailure = failure; // still gone says more than "missing"
        showState();
        m_notices->tell(failure, textFacts());
        return;
    }
    m_portFailure = Condition::none;
    // A simulated module's port is gone with the run; it is not worth opening next time.
    m_memory->saveRead(m_simulated ? QString() : ctrMSComm.portName(), ui->KVPAdr->text(), ctrMSComm.cycleSettings());
    showState();
}

void frmMain::Stop_Click()
{
    ctrMSComm.stop();
    m_readAsked = false;
    if (m_portFailure == Condition::connecting)
        m_portFailure = Condition::none; // given up; Read connects again
    showState();
}

void frmMain::Quit_Click()
{
    m_memory->savePosition(pos());
    // At once, whatever is outstanding; the port closes as the window goes.
    QCoreApplication::exit(0);
}

void frmMain::KVPAdr_Change(const QString &text)
{
    ctrMSComm.setAddressText(text);
    m_addressKept = !validAddress(text.toStdString());
    showState();
}

void frmMain::onValue(const QString &text, int address)
{
    // Another module's: its row in the module list has it. Off the bus, also a late
    // reply of the module read before the box changed.
    if (m_view->take(text, address))
        showState();
}

void frmMain::onPortFailed(Condition failure)
{
    m_portFailure = failure;
    showState();
    // A device gone is said on the status line, which says too when it is back;
    // nothing is put over the value meanwhile.
    if (!isDeviceGone(failure))
        m_notices->tell(failure, textFacts());
}

void frmMain::onPortRestored()
{
    m_portFailure = Condition::none;
    m_notices->closeBox(); // it said the device is gone; it is not any more
    showState();
}

void frmMain::onPortChosen(const QString &port)
{
    if (ctrMSComm.portLent()) {
        // The search for modules is on the line: it is not to be pulled from under it.
        m_notices->note(QCoreApplication::translate("kvp", "正在查找模块: 查找结束后再选择串口"));
        return;
    }
    // A port typed or picked in a simulated run is a real one: the title says so.
    if (m_simulated && port != ctrMSComm.portName())
        setSimulated(false);
    const Condition failure = ctrMSComm.switchPort(port);
    m_readAsked = false;
    m_portFailure = failure;
    m_notices->closeBox();
    showState();
}

void frmMain::showState()
{
    // The box or the bus may have changed: another module's value leaves the display first.
    m_view->follow();
    CycleStatus status = ctrMSComm.status();
    Condition shown = ctrMSComm.condition();
    // On a bus the line speaks of the module in the box, if it is one of the bus.
    bool boxOffBus = false;
    if (ctrMSComm.onBus()) {
        if (const auto box = m_view->boxModuleOnBus()) {
            status = ctrMSComm.cycle().status(*box);
            shown = conditionOf(status);
        } else {
            boxOffBus = status.phase == CyclePhase::reading;
        }
    }
    if (m_portFailure != Condition::none)
        shown = m_portFailure;
    else if (boxOffBus)
        shown = Condition::none;
    else if (m_addressKept && status.phase == CyclePhase::reading)
        shown = Condition::addressKept;
    WindowText text = textFor(shown);
    if (shown == Condition::none)
        text.status = windowWord(WindowWord::boxNotOnBus);
    m_statusRow->setPort(text.port, windowWord(WindowWord::portTip).arg(text.port));
    // Live only while the value on display is the module's value now: values arriving
    // in time for the address in the box. Stopped, stale, at a kept address or with
    // the device gone: grey.
    const bool live = m_portFailure == Condition::none && status.phase != CyclePhase::ready
                      && shown == Condition::reading;
    if (m_meter) {
        const auto module = m_view->target();
        m_meter->setWidest(module ? widestValueText(ctrMSComm.readouts().of(*module)) : widestValueText());
    }
    // Beyond a limit the line says so; back within, it says the state again.
    if (const QString limit = m_view->showState(live, m_colours); !limit.isEmpty())
        m_line->setState(limit);
    else if (!text.status.isEmpty())
        m_line->setState(text.status);
    if (m_meter)
        m_meter->showState(ui->StatusText->text());
}

Facts frmMain::textFacts() const
{
    Facts facts = ctrMSComm.facts();
    facts.simulated = m_simulated;
    return facts;
}

WindowText frmMain::textFor(Condition condition) const
{
    return windowText(condition, textFacts());
}

} // namespace kvp
