#include "WindowExtras.h"

#include "StatusRow.h"

#include "FindModuleDialog.h"
#include "ModuleListPanel.h"
#include "PlaceBeside.h"
#include "TrendChartLoader.h"
#include "TrendPanel.h"
#include "UnitsAndLimits.h"

#include "app/ConditionOf.h"
#include "app/LastFolder.h"
#include "app/ReadSession.h"
#include "app/ReadingColumns.h"
#include "app/WindowText.h"
#include "protocol/Address.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QToolButton>

#include <algorithm>
#include <cstdio>

namespace kvp {
namespace {

constexpr int kFormWidth = 468;
constexpr int kFormHeight = 284;
constexpr int kStatusHeight = 20;

// The window's value display is live while reading goes well; anything else shows
// on the trend as a gap, so no line is drawn through a time without values.
bool liveCondition(Condition condition)
{
    return condition == Condition::reading || condition == Condition::ready;
}

QString wallClockText(TrendSeries::TimePoint at)
{
    const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(TrendSeries::Clock::now() - at);
    QDateTime t = QDateTime::currentDateTime().addMSecs(-ago.count());
    t.setOffsetFromUtc(t.offsetFromUtc()); // the value log's form: with the UTC offset
    return t.toString(Qt::ISODateWithMs);
}

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

WindowExtras::WindowExtras(QWidget &window, ReadSession &session, QLabel *value, QLineEdit *address)
    : QObject(&window), m_window(window), m_session(session), m_value(value), m_address(address)
{
    m_trend = new TrendPanel(&window);
    m_trend->setGeometry(0, kFormHeight, kFormWidth, TrendPanel::kHeight);
    m_trend->hide();
    m_trend->setPortSource([this] { return m_session.portName(); });
    connect(m_trend, &TrendPanel::choiceChanged, this, &WindowExtras::trendChoiceChanged);
    m_modules = new ModuleListPanel([this](int address) { return moduleNow(address); }, &window);
    m_modules->hide();

    m_trendAction = addAction("TrendAction", tr("趋势"), QKeySequence(Qt::CTRL | Qt::Key_T));
    m_trendAction->setCheckable(true);
    connect(m_trendAction, &QAction::toggled, this, &WindowExtras::setTrendOpen);
    m_modulesAction = addAction("ModulesAction", tr("模块"), QKeySequence(Qt::CTRL | Qt::Key_B));
    m_modulesAction->setCheckable(true);
    connect(m_modulesAction, &QAction::toggled, this, &WindowExtras::setModulesOpen);
    m_recordAction = addAction("RecordAction", tr("开始记录…"), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_recordAction, &QAction::triggered, this, [this] {
        if (m_recording.active())
            stopRecording();
        else
            startRecording();
    });
    QAction *copy = addAction("CopyAction", tr("复制数值"), QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { copyValue(false); });
    QAction *copyTimed = addAction("CopyWithTimeAction", tr("复制数值和时间"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copyTimed, &QAction::triggered, this, [this] { copyValue(true); });
    QAction *find = addAction("FindAction", tr("查找模块…"), QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, &WindowExtras::findModule);

    // On the status line: the row count while recording and the trend's toggle;
    // the actions themselves join the status line's menu (attachTo).
    m_bar = new QWidget(&window);
    m_bar->setObjectName(QStringLiteral("StatusExtras"));
    auto *row = new QHBoxLayout(m_bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    m_recLabel = new QLabel(m_bar);
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
    m_trendButton = new QToolButton(m_bar);
    m_trendButton->setObjectName(QStringLiteral("TrendToggle"));
    m_trendButton->setDefaultAction(m_trendAction);
    m_trendButton->setAutoRaise(true);
    m_trendButton->setFocusPolicy(Qt::NoFocus); // the form's tab order stays its own
    row->addWidget(m_trendButton);
    m_modulesButton = new QToolButton(m_bar);
    m_modulesButton->setObjectName(QStringLiteral("ModulesToggle"));
    m_modulesButton->setDefaultAction(m_modulesAction);
    m_modulesButton->setAutoRaise(true);
    m_modulesButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_modulesButton);
    for (QWidget *w : {static_cast<QWidget *>(m_recLabel), static_cast<QWidget *>(m_trendButton),
                       static_cast<QWidget *>(m_modulesButton)})
        w->setFixedHeight(kStatusHeight);
    m_units = new UnitsAndLimits(window, session, [this]() -> std::optional<int> {
        if (m_session.onBus())
            return boxModuleOnBus();
        // Another module typed into the box: nothing of it is shown yet, and the
        // last module's value is not to come back under its address.
        if (const auto box = validAddress(m_address->text().toStdString()); box && box != m_lastShownAddress)
            return std::nullopt;
        return m_lastShownAddress;
    }, [this] { return validAddress(m_address->text().toStdString()); });
    connect(m_units, &UnitsAndLimits::changed, this, [this](int address) {
        if (const QString last = m_modules->lastValue(address); !last.isEmpty())
            m_modules->updateText(address, m_units->shownText(address, last));
    });
    connect(m_modules, &ModuleListPanel::rowMenu, m_units, &UnitsAndLimits::addTo);
    // The trend draws each module in its units, as the value and the list show it.
    m_trend->setReadouts([this](int address) { return m_session.readouts().of(address).units; });
    m_menuActions = {m_trendAction, m_modulesAction, m_recordAction, nullptr, copy, copyTimed, nullptr, find,
                     nullptr, m_units->editAction(), m_units->intervalAction()};
    showRecordingState();

    // The value's own menu: copy it, with or without its time.
    m_value->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_value, &QWidget::customContextMenuRequested, this, [this, copy, copyTimed](const QPoint &at) {
        QMenu menu;
        menu.addAction(copy);
        menu.addAction(copyTimed);
        menu.addSeparator();
        menu.addAction(m_units->editAction());
        menu.exec(m_value->mapToGlobal(at));
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

    m_recLabelTimer.setInterval(250);
    connect(&m_recLabelTimer, &QTimer::timeout, this, &WindowExtras::showRecordingState);
    startBenchIfAsked();
}

WindowExtras::~WindowExtras()
{
    delete m_find; // a search still running hands the port back first
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
    if (open == !m_trend->isHidden()) // hidden or not, whether the window is shown yet
        return;
    m_trend->setVisible(open);
    layOutPanels();
    emit trendChoiceChanged();
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

int WindowExtras::trendHeight(int above) const
{
    // At a high scale factor the form and the trend may not fit the screen: the
    // trend gives up height, down to what still shows a chart, rather than the
    // window reaching under the screen's edge.
    const QScreen *screen = m_window.screen();
    if (!screen)
        return TrendPanel::kHeight;
    const int frame = m_window.isVisible() ? m_window.frameGeometry().height() - m_window.height() : 0;
    const int room = screen->availableGeometry().height() - frame - above;
    return std::clamp(room, TrendPanel::kMinHeight, TrendPanel::kHeight);
}

void WindowExtras::setModulesOpen(bool open)
{
    if (m_modulesAction->isChecked() != open)
        m_modulesAction->setChecked(open);
    if (open == !m_modules->isHidden())
        return;
    m_modules->setVisible(open);
    layOutPanels();
}

bool WindowExtras::modulesOpen() const
{
    return !m_modules->isHidden();
}

void WindowExtras::layOutPanels()
{
    // The window grows by the panels; one the user made larger keeps its size, as
    // long as the form still fits above them.
    const int base = kFormHeight + panelsHeight();
    const bool atBase = m_window.height() <= m_baseHeight;
    m_baseHeight = base;
    m_window.setMinimumSize(kFormWidth, base);
    if (atBase || m_window.height() < base)
        m_window.resize(m_window.width(), base);
    placePanels();
}

int WindowExtras::panelsHeight() const
{
    const int modules = m_modules->isHidden() ? 0 : ModuleListPanel::kHeight;
    return (m_trend->isHidden() ? 0 : trendHeight(kFormHeight + modules)) + modules;
}

void WindowExtras::placePanels()
{
    // At the bottom, under the form, centred with it.
    const int x = std::max(0, (m_window.width() - kFormWidth) / 2);
    int top = std::max(kFormHeight, m_window.height() - panelsHeight());
    if (!m_trend->isHidden()) {
        const int height = trendHeight(kFormHeight + (m_modules->isHidden() ? 0 : ModuleListPanel::kHeight));
        m_trend->setGeometry(x, top, kFormWidth, height);
        top += height;
    }
    if (!m_modules->isHidden())
        m_modules->setGeometry(x, top, kFormWidth, ModuleListPanel::kHeight);
}

std::optional<int> WindowExtras::boxModuleOnBus() const
{
    const auto box = validAddress(m_address->text().toStdString());
    if (!box || !m_session.onBus())
        return std::nullopt;
    const auto &bus = m_session.cycle().addresses();
    return std::find(bus.begin(), bus.end(), *box) != bus.end() ? box : std::nullopt;
}

bool WindowExtras::isShownModule(int address) const
{
    if (m_session.onBus())
        return boxModuleOnBus() == address;
    // A reply of the module read before another address was typed is not the box's.
    const auto box = validAddress(m_address->text().toStdString());
    return !box || *box == address;
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
    switch (conditionOf(cycle.status(address))) {
    case Condition::ready:
        return module;
    case Condition::reading:
        module.state = !m_session.portOpen() ? State::stale
                       : counters.goodValues > 0 ? State::live
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

bool WindowExtras::trendOpen() const
{
    return !m_trend->isHidden(); // open, whether the window is shown yet or not
}

void WindowExtras::onValue(const QString &text, int address)
{
    const auto now = TrendSeries::Clock::now();
    // The text is the scaled value; the trend draws, and the recording keeps, the count.
    const auto reading = m_session.lastReading(address);
    m_modules->noteValue(address, m_units->shownText(address, text), now);
    if (isShownModule(address)) {
        // The window has shown it already, with its unit and the symbol of a limit.
        m_lastShownAddress = address;
        m_lastText = text;
        m_lastAt = now;
    }
    // Every module's values, for its own line in the trend: the count the module sent.
    bool ok = false;
    const int value = reading ? reading->raw : text.toInt(&ok);
    if (ok || reading)
        m_trend->addValue(address, now, value);
    if (m_recording.active()
        && !(reading ? m_recording.add(address, QString::number(reading->raw),
                                       readingColumns(*reading, m_session.readouts().of(address)))
                     : m_recording.add(address, text)))
        recordingFailed();
    if (m_benchValues > 0 && ++m_benchSeen == m_benchValues) {
        const double seconds = std::chrono::duration<double>(now - m_benchStart).count();
        std::printf("values %lld seconds %.3f rate %.1f peak_rss_kb %ld trend %s chart %s\n",
                    static_cast<long long>(m_benchSeen), seconds, m_benchSeen / seconds, peakRssKb(),
                    trendOpen() ? "open" : "closed",
                    !TrendChartLoader::tried() ? "unused" : TrendChartLoader::factory() ? "loaded" : "missing");
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }
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
            m_stale = !live || !open;
    }
}

void WindowExtras::setStale(bool stale)
{
    m_stale = stale;
    const auto now = TrendSeries::Clock::now();
    if (stale)
        for (const int address : m_trend->store().addresses())
            m_trend->setStale(address, true, now);
    else
        onCondition(m_session.condition());
}

bool WindowExtras::copyValue(bool withTime)
{
    if (m_lastText.isEmpty())
        return false;
    // A stale value says so: pasted somewhere, it would pass for a reading of now.
    const QString value = m_stale ? tr("%1 (过时)").arg(m_lastText) : m_lastText;
    const QString text = withTime ? wallClockText(m_lastAt) + QLatin1Char('\t') + value : value;
    QApplication::clipboard()->setText(text);
    return true;
}

bool WindowExtras::startRecording(const QString &path)
{
    QString file = path;
    if (file.isEmpty()) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        file = QFileDialog::getSaveFileName(&m_window, tr("记录到 CSV 文件"),
                                            QDir(LastFolder::get()).filePath(QStringLiteral("kvp-values-%1.csv").arg(stamp)),
                                            tr("CSV 文件 (*.csv)"), nullptr, QFileDialog::DontConfirmOverwrite);
        if (file.isEmpty())
            return false;
    }
    if (!m_recording.start(file)) {
        Facts facts = m_session.facts();
        facts.file = file;
        facts.detail = m_recording.errorString();
        facts.error = m_recording.error();
        auto *box = new QMessageBox(QMessageBox::Warning, m_window.windowTitle(),
                                    windowText(Condition::logFile, facts).message, QMessageBox::Ok, &m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        showRecordingState();
        return false;
    }
    LastFolder::noteFile(file);
    m_recLabelTimer.start();
    showRecordingState();
    return true;
}

void WindowExtras::stopRecording()
{
    const qint64 rows = m_recording.rows();
    const QString path = m_recording.path();
    const bool was = m_recording.active();
    m_recording.stop();
    m_recLabelTimer.stop();
    showRecordingState();
    if (was) {
        // Where the rows went, until the next recording starts.
        m_recLabel->setText(tr("已记录 %n 行到 %1", nullptr, int(rows)).arg(shortFileName(path)));
        m_recLabel->setToolTip(path);
        m_recLabel->show();
        m_bar->adjustSize();
    }
}

void WindowExtras::recordingFailed()
{
    m_recLabelTimer.stop();
    Facts facts = m_session.facts();
    facts.file = m_recording.path();
    facts.detail = m_recording.errorString();
    facts.error = m_recording.error();
    showRecordingState();
    m_recLabel->setText(tr("记录已停止: %1").arg(m_recording.errorString()));
    m_recLabel->show();
    auto *box = new QMessageBox(QMessageBox::Warning, m_window.windowTitle(),
                                windowText(Condition::recordingFailed, facts).message, QMessageBox::Ok, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open(); // reading goes on meanwhile
}

QString WindowExtras::shortFileName(const QString &path) const
{
    // The status line is shared with the state and the port: a long name gives way
    // in its middle (the whole path is the tooltip).
    constexpr int kWidth = 110;
    return m_recLabel->fontMetrics().elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle, kWidth);
}

void WindowExtras::showRecordingState()
{
    const bool on = m_recording.active();
    m_recordAction->setText(on ? tr("停止记录") : tr("开始记录…"));
    if (on) {
        m_recLabel->setText(tr("● %1: %2 行").arg(shortFileName(m_recording.path())).arg(m_recording.rows()));
        m_recLabel->setToolTip(m_recording.path());
        m_recLabel->show();
    } else if (m_recording.errorString().isEmpty()) {
        m_recLabel->hide();
    }
    m_bar->adjustSize();
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

void WindowExtras::startBenchIfAsked()
{
    // KVP_WINDOW_BENCH=N reads N values unpaced with the window up (and the trend
    // open with KVP_WINDOW_BENCH_TREND=1), prints the rate and peak RSS, and quits:
    // what scripts/bench.sh compares.
    const qint64 values = qEnvironmentVariableIntValue("KVP_WINDOW_BENCH");
    if (values <= 0)
        return;
    m_benchValues = values;
    const bool trend = qEnvironmentVariableIntValue("KVP_WINDOW_BENCH_TREND") != 0;
    QTimer::singleShot(0, this, [this, trend] {
        setTrendOpen(trend);
        m_benchStart = TrendSeries::Clock::now();
        m_session.read();
    });
}

} // namespace kvp
