#include "frmMain.h"

#include "AppIcon.h"
#include "LineDetails.h"
#include "ValueMeter.h"
#include "ModuleListPanel.h"
#include "TrendPanel.h"
#include "WindowExtras.h"
#include "StatusRow.h"
#include "UnitsAndLimits.h"
#include "ui_frmMain.h"

#include "app/ConditionOf.h"
#include "app/Remembered.h"
#include "protocol/Address.h"
#include "reader/CounterSummary.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QToolButton>
#include <QToolTip>

#include <utility>

namespace kvp {
namespace {

QFont fontOf(const QString &family, qreal points)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

// The window's fonts come from another platform; map them to fonts that exist here
// and that carry the window's Chinese texts.
void substituteMissingFonts()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")});
        return true;
    }();
    (void)done;
}

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

    substituteMissingFonts();
    const QFont sans = fontOf(QStringLiteral("MS Sans Serif"), 8.25);
    for (QWidget *w : {static_cast<QWidget *>(ui->Label1), static_cast<QWidget *>(ui->KVPAdr),
                       static_cast<QWidget *>(ui->Read), static_cast<QWidget *>(ui->Stop),
                       static_cast<QWidget *>(ui->Quit), static_cast<QWidget *>(ui->StatusText)})
        w->setFont(sans);
    ui->DataText->setFont(fontOf(QStringLiteral("宋体"), 26.25));
    // The label on its box's middle line, as tall as the box.
    ui->Label1->setGeometry(ui->Label1->x(), ui->KVPAdr->y(), ui->Label1->width(), ui->KVPAdr->height());
    ui->Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->Label1->setBuddy(ui->KVPAdr);
    ui->KVPAdr->setAccessibleName(QCoreApplication::translate("kvp", "KV-P 地址 (0 到 31)"));
    m_statusRow = new StatusRow(ui->StatusText, this);
    m_statusRow->portButton()->setFont(sans);
    m_picker = new PortPicker(serialPorts, this);

    ui->Label1->setToolTip(windowWord(WindowWord::addressTip));
    ui->KVPAdr->setToolTip(windowWord(WindowWord::addressTip));
    ui->Read->setToolTip(windowWord(WindowWord::readTip));
    ui->Stop->setToolTip(windowWord(WindowWord::stopTip));
    ui->Quit->setToolTip(windowWord(WindowWord::quitTip));
    m_statusRow->findChild<QToolButton *>(QStringLiteral("StatusMenuButton"))
        ->setToolTip(windowWord(WindowWord::menuTip));
    m_statusRow->findChild<QToolButton *>(QStringLiteral("StatusMenuButton"))
        ->setAccessibleName(windowWord(WindowWord::menuTip));
    buildStatusMenu();

    connect(ui->Read, &QPushButton::clicked, this, &frmMain::Read_Click);
    connect(ui->Stop, &QPushButton::clicked, this, &frmMain::Stop_Click);
    connect(ui->Quit, &QPushButton::clicked, this, &frmMain::Quit_Click);
    // The keyboard alone reads and stops: Enter in the address box is Read, Esc is Stop.
    connect(ui->KVPAdr, &QLineEdit::returnPressed, this, &frmMain::Read_Click);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &frmMain::Stop_Click);
    connect(ui->KVPAdr, &QLineEdit::textChanged, this, &frmMain::KVPAdr_Change);
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
        ui->StatusText->setText(windowText(Condition::timeoutGrown, facts).status);
    });
    connect(&ctrMSComm, &ReadSession::logFailed, this, [this] {
        Facts facts = ctrMSComm.facts();
        facts.file = m_log ? m_log->path() : QString();
        facts.detail = m_log ? m_log->errorString() : QString();
        facts.error = m_log ? m_log->error() : 0;
        tell(windowText(Condition::logWriteFailed, facts).message);
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
    m_meter = new ValueMeter(*this, ui->DataText,
                             {ui->Label1, ui->KVPAdr, ui->Read, ui->Stop, ui->Quit, m_statusRow}, m_extras);
    m_lineDetails = new LineDetails(*this, ctrMSComm, m_statusRow);
    statusMenu()->addSeparator();
    statusMenu()->addAction(m_meter->fullScreenAction());
    statusMenu()->addAction(m_lineDetails->trafficAction());
    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : {ui->Read, ui->Stop, ui->Quit})
        button->installEventFilter(this);
    // The status line's controls follow the form's buttons in the tab order.
    QWidget *previous = ui->Quit;
    for (const char *name : {"TrendToggle", "ModulesToggle", "LineCounts", "PortButton", "StatusMenuButton"}) {
        if (auto *button = m_statusRow->findChild<QToolButton *>(QLatin1String(name))) {
            button->setFocusPolicy(Qt::TabFocus);
            button->setCursor(Qt::PointingHandCursor);
            setTabOrder(previous, button);
            previous = button;
        }
    }
    // Looks like what it is, a link-like button: underlined under the pointer.
    m_statusRow->setStyleSheet(m_statusRow->styleSheet()
                               + QStringLiteral("QToolButton:hover, QToolButton:focus { text-decoration: underline; }"));
    showState();
}

void frmMain::installExtras()
{
    m_extras = new WindowExtras(*this, ctrMSComm, ui->DataText, ui->KVPAdr);
    m_extras->attachTo(m_statusRow, statusMenu());
    m_extras->modules()->setColours(m_colours);
    connect(m_extras->modules(), &ModuleListPanel::addressesChanged, this, &frmMain::onModuleListChanged);
    connect(m_extras, &WindowExtras::readAllFound, this, &frmMain::Read_Click);
    connect(m_extras->units(), &UnitsAndLimits::changed, this, &frmMain::showState);
    connect(m_extras, &WindowExtras::trendChoiceChanged, this, [this] {
        if (m_remember)
            remembered(RememberedStore::saveTrend(
                m_extras->trendOpen(),
                static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(m_extras->trend()->span()).count()),
                m_extras->trend()->allModules()));
    });
}

void frmMain::followModuleList()
{
    const QList<int> list = m_extras->modules()->addresses();
    const auto box = validAddress(ui->KVPAdr->text().toStdString());
    if (list.size() > 1 && box && list.contains(*box)) {
        ctrMSComm.setBus(list);
        return;
    }
    // No bus: the cycle follows the address box again, and keeps what it learned.
    if (ctrMSComm.onBus())
        ctrMSComm.setBus({});
}

void frmMain::onModuleListChanged(const QList<int> &addresses)
{
    if (m_remember)
        remembered(RememberedStore::saveModules(addresses));
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
    if (failure == Condition::connecting) {
        // Its failure can no longer keep the window from coming up: it goes on the status line.
        m_portFailure = failure;
        showState();
        return true;
    }
    if (onFailure == OnPortFailure::refuse) {
        auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), textFor(failure).message,
                                    QMessageBox::Ok, nullptr);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->exec();
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

QMenu *frmMain::statusMenu() const
{
    return m_statusRow->statusMenu();
}

void frmMain::openPortList()
{
    m_picker->popUp(ctrMSComm.portName(), QRect(m_statusRow->mapToGlobal(QPoint(0, 0)), m_statusRow->size()));
}

void frmMain::buildStatusMenu()
{
    QMenu *menu = statusMenu();
    auto *pickPort = menu->addAction(windowWord(WindowWord::portMenuEntry), this, &frmMain::openPortList);
    pickPort->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    addAction(pickPort); // the shortcut works wherever the focus is in the window

    auto *echo = menu->addAction(windowWord(WindowWord::echoMenuEntry));
    echo->setObjectName(QStringLiteral("EchoAction"));
    echo->setCheckable(true);
    echo->setChecked(ctrMSComm.cycleSettings().dropEcho);
    connect(echo, &QAction::toggled, this, [this](bool on) {
        CycleSettings settings = ctrMSComm.cycleSettings();
        settings.dropEcho = on;
        setCycleSettings(settings);
    });
    menu->addAction(windowWord(WindowWord::timeoutMenuEntry), this, &frmMain::askTimeout);
}

void frmMain::setCycleSettings(CycleSettings settings)
{
    ctrMSComm.setCycleSettings(settings);
    if (m_remember)
        remembered(RememberedStore::saveLine(settings.dropEcho, static_cast<int>(settings.replyTimeout.count())));
    showState();
}

void frmMain::askTimeout()
{
    CycleSettings settings = ctrMSComm.cycleSettings();
    bool ok = false;
    const int ms = QInputDialog::getInt(this, windowTitle(), windowWord(WindowWord::timeoutQuestion),
                                        static_cast<int>(settings.replyTimeout.count()), 50, 60000, 50, &ok);
    if (!ok)
        return;
    settings.replyTimeout = milliseconds(ms);
    settings.adaptTimeout = false;
    setCycleSettings(settings);
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
    // Worked out when asked for, not on every value.
    QString text;
    if (watched == ui->StatusText && m_portFailure != Condition::none)
        text = textFor(m_portFailure).message; // the whole reason, which the line only names
    else if (ctrMSComm.status().phase == CyclePhase::ready)
        text = textFor(Condition::ready).hint;
    else if (const auto box = m_extras->boxModuleOnBus())
        text = windowCounterSummary(ctrMSComm.cycle().counters(*box), Clock::now());
    else
        text = windowCounterSummary(ctrMSComm.cycle().counters(), Clock::now());
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
    savePosition();
    QWidget::closeEvent(event);
}

void frmMain::savePosition()
{
    if (m_remember)
        remembered(RememberedStore::savePosition(pos()));
}

void frmMain::remembered(bool saved)
{
    // Said once on the status line: the next run will not start where this one was,
    // which is worth knowing but not worth a message box on every Read.
    if (saved || m_toldUnsaved)
        return;
    m_toldUnsaved = true;
    m_unsavedShown = true;
}

void frmMain::Read_Click()
{
    followModuleList();
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
        ui->StatusText->setText(textFor(failure).message);
        ui->KVPAdr->setFocus(Qt::OtherFocusReason);
        ui->KVPAdr->selectAll();
        return;
    }
    if (failure != Condition::none) {
        if (!isDeviceGone(m_portFailure))
            m_portFailure = failure; // still gone says more than "missing"
        showState();
        tell(textFor(failure).message);
        return;
    }
    m_portFailure = Condition::none;
    if (m_remember) {
        const CycleSettings &settings = ctrMSComm.cycleSettings();
        // A simulated module's port is gone with the run; it is not worth opening next time.
        remembered(RememberedStore::saveRead(m_simulated ? QString() : ctrMSComm.portName(), ui->KVPAdr->text(),
                                             settings.dropEcho, static_cast<int>(settings.replyTimeout.count())));
    }
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
    savePosition();
    // At once, whatever is outstanding; the port closes as the window goes.
    QCoreApplication::exit(0);
}

void frmMain::KVPAdr_Change(const QString &text)
{
    ctrMSComm.setAddressText(text);
    m_addressKept = !validAddress(text.toStdString());
    // On a bus the value shown big is the box's module's: its last value, not the
    // module's before.
    if (const auto box = m_extras ? m_extras->boxModuleOnBus() : std::nullopt) {
        const QString last = m_extras->modules()->lastValue(*box);
        ui->DataText->setText(last.isEmpty() ? QStringLiteral("—") : last);
    } else if (const auto address = validAddress(text.toStdString());
               address && !m_caption && m_shownAddress && *address != *m_shownAddress) {
        // Another module: its value is not known yet, and the one before is not its.
        ui->DataText->setText(QStringLiteral("—"));
        m_shownAddress.reset();
    }
    showState();
}

void frmMain::onValue(const QString &text, int address)
{
    // Another module's: its row in the module list has it. Off the bus, also a late
    // reply of the module read before the box changed.
    if (!m_extras->isShownModule(address))
        return;
    m_caption = false;
    m_shownAddress = address;
    // With its unit and the symbol of a limit, here and full screen alike.
    UnitsAndLimits::showOn(ui->DataText, m_extras->units()->shownText(address, text));
    m_meter->showValue(ui->DataText->text(), ui->DataText->palette().color(QPalette::WindowText));
    nameValue();
}

void frmMain::nameValue()
{
    // A screen reader hears the value with its state, as the eye sees its colour.
    const QString state = m_valueLive ? QCoreApplication::translate("kvp", "实时")
                                      : QCoreApplication::translate("kvp", "过时");
    ui->DataText->setAccessibleName(m_caption ? ui->DataText->text()
                                              : QCoreApplication::translate("kvp", "%1, %2").arg(ui->DataText->text(), state));
}

void frmMain::onPortFailed(Condition failure)
{
    m_portFailure = failure;
    showState();
    // A device gone is said on the status line, which says too when it is back;
    // nothing is put over the value meanwhile.
    if (!isDeviceGone(failure))
        tell(textFor(failure).message);
}

void frmMain::onPortRestored()
{
    m_portFailure = Condition::none;
    if (m_notice)
        m_notice->close(); // it said the device is gone; it is not any more
    showState();
}

void frmMain::onPortChosen(const QString &port)
{
    if (ctrMSComm.portLent()) {
        // The search for modules is on the line: it is not to be pulled from under it.
        ui->StatusText->setText(QCoreApplication::translate("kvp", "正在查找模块: 查找结束后再选择串口"));
        return;
    }
    // A port typed or picked in a simulated run is a real one: the title says so.
    if (m_simulated && port != ctrMSComm.portName())
        setSimulated(false);
    const Condition failure = ctrMSComm.switchPort(port);
    m_readAsked = false;
    m_portFailure = failure;
    if (m_notice)
        m_notice->close();
    showState();
}

void frmMain::showState()
{
    CycleStatus status = ctrMSComm.status();
    Condition shown = ctrMSComm.condition();
    // On a bus the line speaks of the module in the box, if it is one of the bus.
    bool boxOffBus = false;
    if (ctrMSComm.onBus()) {
        if (const auto box = m_extras ? m_extras->boxModuleOnBus() : std::nullopt) {
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
    if (m_unsavedShown) {
        // Until the state changes, the status line says the settings were not saved.
        m_unsavedShown = false;
        m_unsavedState = text.status;
        ui->StatusText->setText(QCoreApplication::translate("kvp", "%1 · 设置无法保存到 %2").arg(text.status, RememberedStore::fileName()));
    } else if (!text.status.isEmpty() && (m_unsavedState.isNull() || text.status != m_unsavedState)) {
        m_unsavedState = QString();
        ui->StatusText->setText(text.status);
    }
    m_statusRow->setPort(text.port, windowWord(WindowWord::portTip).arg(text.port));

    // Blue only while the value on display is the module's value now: the form's
    // caption before anything was read, or values arriving in time for the address
    // in the box. Stopped, stale, at a kept address or with the device gone: grey.
    const bool live = m_portFailure == Condition::none
                      && (status.phase == CyclePhase::ready ? m_caption : shown == Condition::reading);
    QPalette palette = ui->DataText->palette();
    palette.setColor(QPalette::WindowText, live ? m_colours.live : m_colours.stale);
    ui->DataText->setPalette(palette);
    m_valueLive = live;
    // Units, limits and the alarm colour first: the full-screen meter and the value's
    // accessible name show the value as decorated.
    if (m_extras)
        m_extras->units()->decorate(ui->DataText, ui->StatusText, live);
    if (m_meter) {
        m_meter->showState(ui->StatusText->text());
        m_meter->showValue(ui->DataText->text(), ui->DataText->palette().color(QPalette::WindowText));
    }
    nameValue();
}

WindowText frmMain::textFor(Condition condition) const
{
    Facts facts = ctrMSComm.facts();
    facts.simulated = m_simulated;
    return windowText(condition, facts);
}

void frmMain::tell(const QString &message)
{
    if (m_notice)
        m_notice->close();
    // Not modal: Stop and Close must work while it is up, and it closes itself when
    // what it says is no longer true.
    m_notice = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok,
                               isVisible() ? this : nullptr);
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setWindowModality(Qt::NonModal);
    m_notice->show();
}

} // namespace kvp
