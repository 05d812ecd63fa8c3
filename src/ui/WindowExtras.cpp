#include "WindowExtras.h"

#include "StatusRow.h"

#include "ElidedLabel.h"
#include "FindModuleDialog.h"
#include "ModuleListPanel.h"
#include "PanelStack.h"
#include "PlaceBeside.h"
#include "RecordingControl.h"
#include "TrendPanel.h"
#include "UnitsAndLimits.h"
#include "ValueView.h"
#include "WindowBench.h"
#include "WindowNotices.h"

#include "app/ConditionOf.h"
#include "app/ReadSession.h"
#include "protocol/Address.h"
#include "trend/TrendSeries.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace kvp {
namespace {

constexpr int kStatusHeight = 20;

// The window's value display is live while reading goes well; anything else shows
// on the trend as a gap, so no line is drawn through a time without values.
bool liveCondition(Condition condition)
{
    return condition == Condition::reading || condition == Condition::ready;
}

} // namespace

WindowExtras::WindowExtras(QWidget &window, ReadSession &session, ValueView &view, QLineEdit *address,
                           WindowNotices &notices)
    : QObject(&window), m_window(window), m_session(session), m_view(view), m_address(address), m_notices(notices)
{
    m_trend = new TrendPanel(&window);
    m_trend->setPortSource([this] { return m_session.portName(); });
    connect(m_trend, &TrendPanel::choiceChanged, this, &WindowExtras::trendChoiceChanged);
    connect(m_trend, &TrendPanel::saveFailed, this, [&notices](const QString &file, const QString &reason) {
        notices.fileTrouble(Condition::exportFailed, file, reason, 0);
    });
    m_modules = new ModuleListPanel([this](int address) { return moduleNow(address); }, &window);
    m_panels = new PanelStack(window, m_trend, m_modules);

    m_trendAction = addAction("TrendAction", tr("趋势"), QKeySequence(Qt::CTRL | Qt::Key_T));
    m_trendAction->setCheckable(true);
    connect(m_trendAction, &QAction::toggled, this, &WindowExtras::setTrendOpen);
    m_modulesAction = addAction("ModulesAction", tr("模块"), QKeySequence(Qt::CTRL | Qt::Key_B));
    m_modulesAction->setCheckable(true);
    connect(m_modulesAction, &QAction::toggled, this, &WindowExtras::setModulesOpen);
    m_recordAction = addAction("RecordAction", tr("开始记录…"), QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction *copy = addAction("CopyAction", tr("复制数值"), QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { copyValue(false); });
    QAction *copyTimed = addAction("CopyWithTimeAction", tr("复制数值和时间"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copyTimed, &QAction::triggered, this, [this] { copyValue(true); });
    QAction *find = addAction("FindAction", tr("查找模块…"), QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, &WindowExtras::findModule);

    buildBar();
    m_recording = new RecordingControl(window, session, notices, m_recordAction, m_recLabel);
    connect(m_recordAction, &QAction::triggered, m_recording, &RecordingControl::toggle);
    connect(m_recording, &RecordingControl::labelChanged, m_bar, &QWidget::adjustSize);
    m_units = new UnitsAndLimits(window, session, [this] { return m_view.shownAddress(); },
                                 [this] { return validAddress(m_address->text().toStdString()); });
    m_view.setUnits(m_units);
    m_view.setLastOnBus([this](int address) { return m_modules->lastValue(address); });
    connect(m_units, &UnitsAndLimits::changed, this, [this](int address) {
        if (const QString last = m_modules->lastValue(address); !last.isEmpty())
            m_modules->updateText(address, m_units->shownText(address, last));
    });
    connect(m_modules, &ModuleListPanel::rowMenu, m_units, &UnitsAndLimits::addTo);
    // The trend draws each module in its units, as the value and the list show it.
    m_trend->setReadouts([this](int address) { return m_session.readouts().of(address).units; });
    m_menuActions = {m_trendAction, m_modulesAction, m_recordAction, nullptr, copy, copyTimed, nullptr, find,
                     nullptr, m_units->editAction(), m_units->intervalAction()};

    // The value's own menu: copy it, with or without its time.
    QLabel *value = window.findChild<QLabel *>(QStringLiteral("DataText"));
    value->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(value, &QWidget::customContextMenuRequested, this, [this, value, copy, copyTimed](const QPoint &at) {
        QMenu menu;
        menu.addAction(copy);
        menu.addAction(copyTimed);
        menu.addSeparator();
        menu.addAction(m_units->editAction());
        menu.exec(value->mapToGlobal(at));
    });
    // Ctrl+C in the address box copies its selection; with nothing selected there,
    // it copies the value, as everywhere else in the window.
    m_address->installEventFilter(this);

    connect(&m_session, &ReadSession::valueShown, this, &WindowExtras::onValue);
    connect(&m_session, &ReadSession::conditionChanged, this, &WindowExtras::onCondition);
    connect(&m_session, &ReadSession::moduleConditionChanged, this, [this] { onCondition(m_session.condition()); });
    connect(&m_session, &ReadSession::portFailed, this, [this] { setStale(true); });
    connect(&m_session, &ReadSession::portRestored, this, [this] { onCondition(m_session.condition()); });
    connect(m_address, &QLineEdit::textChanged, this, [this] {
        m_modules->setCurrent(validAddress(m_address->text().toStdString()));
        followInTrend();
        onCondition(m_session.condition());
    });
    m_modules->setCurrent(validAddress(m_address->text().toStdString()));
    connect(m_modules, &ModuleListPanel::addressesChanged, this, [this] {
        followInTrend();
        onCondition(m_session.condition());
    });
    followInTrend();
    connect(m_modules, &ModuleListPanel::addressChosen, this,
            [this](int address) { m_address->setText(QString::number(address)); });
    m_bench = new WindowBench(session, [this](bool open) { setTrendOpen(open); }, [this] { return trendOpen(); }, this);
}

WindowExtras::~WindowExtras()
{
    delete m_find; // a search still running hands the port back first
}

void WindowExtras::buildBar()
{
    // On the status line: the row count while recording and the panels' toggles;
    // the actions themselves join the status line's menu (attachTo).
    m_bar = new QWidget(&m_window);
    m_bar->setObjectName(QStringLiteral("StatusExtras"));
    auto *row = new QHBoxLayout(m_bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    auto *rows = new ElidedLabel(m_bar);
    rows->setElideMode(Qt::ElideMiddle); // the file name gives way, the count stays: the path is the tooltip
    m_recLabel = rows;
    m_recLabel->setObjectName(QStringLiteral("RecordingRows"));
    m_recLabel->hide();
    row->addWidget(m_recLabel);
    m_trendNote = new QLabel(tr("趋势图缺失"), m_bar);
    m_trendNote->setObjectName(QStringLiteral("TrendNote"));
    m_trendNote->hide();
    row->addWidget(m_trendNote);
    connect(m_trend, &TrendPanel::chartUnavailable, this, [this](const QString &message) {
        m_trendNote->setToolTip(message);
        m_trendNote->show();
        m_bar->adjustSize();
    });
    for (auto [name, action] : {std::pair{"TrendToggle", m_trendAction}, std::pair{"ModulesToggle", m_modulesAction}}) {
        auto *button = new QToolButton(m_bar);
        button->setObjectName(QLatin1String(name));
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus); // the form's tab order stays its own
        button->setFixedHeight(kStatusHeight);
        row->addWidget(button);
    }
    m_recLabel->setFixedHeight(kStatusHeight);
}

QAction *WindowExtras::addAction(const char *name, const QString &text, const QKeySequence &keys)
{
    auto *action = new QAction(text, &m_window);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.toString(QKeySequence::NativeText)));
    m_window.addAction(action); // the shortcut works anywhere in the window
    return action;
}

QAction *WindowExtras::action(const char *name) const
{
    return m_window.findChild<QAction *>(QLatin1String(name));
}

void WindowExtras::setTrendOpen(bool open)
{
    if (m_trendAction->isChecked() != open)
        m_trendAction->setChecked(open); // comes back here through toggled()
    if (open == m_panels->trendOpen())
        return;
    m_panels->setTrendOpen(open);
    emit trendChoiceChanged();
}

bool WindowExtras::trendOpen() const
{
    return m_panels->trendOpen();
}

void WindowExtras::restoreTrend(const Remembered &last)
{
    if (last.trendSpanSeconds)
        m_trend->setSpan(std::chrono::seconds(*last.trendSpanSeconds));
    if (last.trendAllModules)
        m_trend->setAllModules(*last.trendAllModules);
    if (last.trendOpen)
        setTrendOpen(*last.trendOpen);
}

QString WindowExtras::trendNote() const
{
    return m_trendNote->isHidden() ? QString() : m_trendNote->toolTip();
}

void WindowExtras::followInTrend()
{
    const QList<int> listed = m_modules->addresses();
    m_trend->follow(std::vector<int>(listed.begin(), listed.end()), validAddress(m_address->text().toStdString()));
}

void WindowExtras::setModulesOpen(bool open)
{
    if (m_modulesAction->isChecked() != open)
        m_modulesAction->setChecked(open);
    if (open != m_panels->modulesOpen())
        m_panels->setModulesOpen(open);
}

bool WindowExtras::modulesOpen() const
{
    return m_panels->modulesOpen();
}

std::optional<int> WindowExtras::boxModuleOnBus() const
{
    return m_view.boxModuleOnBus();
}

void WindowExtras::followModuleList()
{
    const QList<int> list = m_modules->addresses();
    const auto box = validAddress(m_address->text().toStdString());
    if (list.size() > 1 && box && list.contains(*box))
        m_session.setBus(list);
    else if (m_session.onBus())
        m_session.setBus({}); // the cycle follows the address box again, and keeps what it learned
}

bool WindowExtras::isShownModule(int address) const
{
    return m_view.isShownModule(address);
}

ModuleListPanel::Module WindowExtras::moduleNow(int address) const
{
    using State = ModuleListPanel::Module::State;
    ModuleListPanel::Module module;
    const ReadCycle &cycle = m_session.cycle();
    const CycleCounters &counters = cycle.counters(address);
    if (counters.timedReplies > 0)
        module.meanReply = counters.replyTimeMean();
    // Only the modules the reader asks now have a state; the others keep their last value, grey.
    const auto &asked = cycle.addresses();
    if (std::find(asked.begin(), asked.end(), address) == asked.end())
        return module;
    // Set aside on a bus: said as such, with the roster's time of its next turn.
    if (const ModuleState *m = cycle.roster().find(address); m && m->aside != ModuleState::Aside::no) {
        module.state = m->aside == ModuleState::Aside::silent ? State::silent : State::late;
        // Stopped, searching or with the device gone, nobody asks it: a countdown would lie.
        if (!cycle.reading() || !m_session.portOpen())
            return module;
        const auto now = Clock::now();
        if (const auto next = cycle.roster().nextAskOf(address, now))
            module.nextAskIn = *next - now;
        return module;
    }
    switch (conditionOf(cycle.status(address))) {
    case Condition::ready:
        return module;
    case Condition::reading:
        module.state = !m_session.portOpen()                                        ? State::stale
                       : counters.goodValues > 0 && !m_modules->lastValue(address).isEmpty() ? State::live
                                                                                              : State::notRead;
        return module;
    case Condition::noAnswer:
        module.state = State::noAnswer;
        return module;
    default:
        module.state = State::stale;
        return module;
    }
}

void WindowExtras::onValue(const QString &text, int address)
{
    const auto now = TrendSeries::Clock::now();
    // The text is the scaled value; the trend draws, and the recording keeps, the count.
    const auto reading = m_session.lastReading(address);
    m_modules->noteValue(address, m_units->shownText(address, text), now);
    // Every module's values, for its own line in the trend: the count the module sent.
    bool ok = false;
    const int value = reading ? reading->raw : text.toInt(&ok);
    if (ok || reading)
        m_trend->addValue(address, now, value);
    m_recording->add(address, text);
    m_bench->counted();
}

void WindowExtras::onCondition(Condition condition)
{
    // Each module's line has its own gaps: on a bus, from that module's condition;
    // alone, the box's module from the session's. A module the reader does not ask
    // now is stale all the while.
    const auto now = TrendSeries::Clock::now();
    const bool open = m_session.portOpen();
    const auto &asked = m_session.cycle().addresses();
    const auto box = validAddress(m_address->text().toStdString());
    for (const int address : m_trend->store().addresses()) {
        bool live = false;
        if (m_session.onBus())
            live = std::find(asked.begin(), asked.end(), address) != asked.end()
                   && liveCondition(conditionOf(m_session.cycle().status(address)));
        else
            live = address == box && liveCondition(condition);
        m_trend->setStale(address, !live || !open, now);
        if (address == box)
            m_view.setStale(!live || !open);
    }
}

void WindowExtras::setStale(bool stale)
{
    m_view.setStale(stale);
    const auto now = TrendSeries::Clock::now();
    if (stale)
        for (const int address : m_trend->store().addresses())
            m_trend->setStale(address, true, now);
    else
        onCondition(m_session.condition());
}

bool WindowExtras::copyValue(bool withTime)
{
    if (m_view.copy(withTime))
        return true;
    // The clipboard keeps what it held, maybe another module's value: pasted, it would
    // pass for this one's.
    m_notices.note(tr("没有可复制的数值: 模块应答后再复制"));
    return false;
}

bool WindowExtras::startRecording(const QString &path)
{
    return m_recording->start(path);
}

void WindowExtras::stopRecording()
{
    m_recording->stop();
}

const Recording &WindowExtras::recording() const
{
    return m_recording->recording();
}

void WindowExtras::attachTo(StatusRow *row, QMenu *menu)
{
    m_bar->setFont(row->portButton()->font()); // the status line's own small font
    row->addWidget(m_bar);
    menu->addSeparator();
    for (QAction *action : m_menuActions) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
}

FindModuleDialog *WindowExtras::findModule()
{
    if (m_find)
        return m_find;
    m_find = new FindModuleDialog(m_session, &m_window);
    m_find->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_find, &FindModuleDialog::addressChosen, m_address, &QLineEdit::setText);
    connect(m_find, &FindModuleDialog::allChosen, this, [this](const QList<int> &found) {
        m_modules->setAddresses(found);
        const auto box = validAddress(m_address->text().toStdString());
        if (!found.isEmpty() && (!box || !found.contains(*box)))
            m_address->setText(QString::number(found.first()));
        setModulesOpen(true);
        emit readAllFound();
    });
    placeBeside(*m_find, m_window);
    m_find->show(); // not modal: the value stays in view, and Read waits for the search
    m_find->start();
    return m_find;
}

bool WindowExtras::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_address && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy) && !m_address->hasSelectedText())
        return true; // not taken by the box: the window's Copy runs
    return QObject::eventFilter(watched, event);
}

} // namespace kvp
