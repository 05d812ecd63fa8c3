#include "frmMain.h"

#include "AppIcon.h"
#include "WindowExtras.h"
#include "ui_frmMain.h"

#include "reader/CounterSummary.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QMessageBox>
#include <QToolTip>

namespace kvp {
namespace {

const QColor kLiveColour(0x00, 0x00, 0xFF);
const QColor kStaleColour(0x80, 0x80, 0x80);

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

} // namespace

frmMain::frmMain(const PortSettings &port, CycleSettings cycle, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmMain>()), ctrMSComm(port, cycle)
{
    ui->setupUi(this);
    // A fixed client area, as the layout is absolute; Qt scales it on dense screens.
    setFixedSize(468, 284);
    setWindowIcon(appIcon());

    substituteMissingFonts();
    const QFont sans = fontOf(QStringLiteral("MS Sans Serif"), 8.25);
    for (QWidget *w : {static_cast<QWidget *>(ui->Label1), static_cast<QWidget *>(ui->KVPAdr),
                       static_cast<QWidget *>(ui->Read), static_cast<QWidget *>(ui->Stop),
                       static_cast<QWidget *>(ui->Quit), static_cast<QWidget *>(ui->StatusText)})
        w->setFont(sans);
    ui->DataText->setFont(fontOf(QStringLiteral("宋体"), 26.25));
    setDisplayLive(true);

    connect(ui->Read, &QPushButton::clicked, this, &frmMain::Read_Click);
    connect(ui->Stop, &QPushButton::clicked, this, &frmMain::Stop_Click);
    connect(ui->Quit, &QPushButton::clicked, this, &frmMain::Quit_Click);
    connect(ui->KVPAdr, &QLineEdit::textChanged, &ctrMSComm, &ReadSession::setAddressText);
    connect(&ctrMSComm, &ReadSession::valueShown, this, &frmMain::onValue);
    connect(&ctrMSComm, &ReadSession::conditionChanged, this, &frmMain::onCondition);
    connect(&ctrMSComm, &ReadSession::portFailed, this, &frmMain::onPortFailed);
    connect(&ctrMSComm, &ReadSession::portRestored, this, [this] { onCondition(ctrMSComm.condition()); });
    ctrMSComm.setAddressText(ui->KVPAdr->text());
    setSimulated(false);
    ui->KVPAdr->setFocus();
    ui->DataText->installEventFilter(this);
    ui->StatusText->installEventFilter(this);
    installExtras();
}

void frmMain::installExtras()
{
    m_extras = new WindowExtras(*this, ctrMSComm, ui->DataText, ui->KVPAdr);
}

frmMain::~frmMain()
{
    delete m_extras; // while the session it may have borrowed the port from still lives
}

bool frmMain::Form_Load()
{
    if (const Condition failure = ctrMSComm.open(); failure != Condition::none) {
        tell(textFor(failure).message, true);
        return false;
    }
    return true;
}

void frmMain::setSimulated(bool simulated)
{
    m_simulated = simulated;
    const WindowText text = textFor(Condition::ready);
    setWindowTitle(text.title);
    ui->StatusText->setText(text.status);
}

void frmMain::setAddressText(const QString &text)
{
    ui->KVPAdr->setText(text);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    // Worked out when asked for, not on every value.
    const QString text = ctrMSComm.status().phase == CyclePhase::ready
                             ? textFor(Condition::ready).hint
                             : QString::fromStdString(counterSummary(ctrMSComm.cycle().counters(), Clock::now()));
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text, static_cast<QWidget *>(watched));
    return true;
}

void frmMain::Read_Click()
{
    // After the device went away, Read also tries to open it again at once.
    if (const Condition failure = ctrMSComm.read(); failure != Condition::none)
        tell(textFor(failure).message, false);
}

void frmMain::Stop_Click()
{
    ctrMSComm.stop();
}

void frmMain::Quit_Click()
{
    // At once, whatever is outstanding; the port closes as the window goes.
    QCoreApplication::exit(0);
}

void frmMain::onValue(const QString &text)
{
    ui->DataText->setText(text);
}

void frmMain::onCondition(Condition condition)
{
    if (!ctrMSComm.portOpen())
        return; // the status line keeps saying that the device is gone
    setDisplayLive(condition == Condition::ready || condition == Condition::reading
                   || condition == Condition::stopped);
    ui->StatusText->setText(textFor(condition).status);
}

void frmMain::onPortFailed(Condition failure)
{
    setDisplayLive(false);
    const WindowText text = textFor(failure);
    ui->StatusText->setText(text.status);
    tell(text.message, false);
}

WindowText frmMain::textFor(Condition condition) const
{
    Facts facts = ctrMSComm.facts();
    facts.simulated = m_simulated;
    return windowText(condition, facts);
}

void frmMain::setDisplayLive(bool live)
{
    QPalette palette = ui->DataText->palette();
    palette.setColor(QPalette::WindowText, live ? kLiveColour : kStaleColour);
    ui->DataText->setPalette(palette);
}

void frmMain::tell(const QString &message, bool modal)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok,
                                isVisible() ? this : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (modal)
        box->exec();
    else
        box->open(); // the window keeps working while the message is up
}

} // namespace kvp
