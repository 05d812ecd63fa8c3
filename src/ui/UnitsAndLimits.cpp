#include "UnitsAndLimits.h"

#include "ReadoutDialog.h"
#include "ValueColours.h"

#include "app/ReadSession.h"
#include "app/Remembered.h"
#include "app/WindowText.h"

#include <QAction>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QWidget>

#include <algorithm>

namespace kvp {
namespace {

QString symbolOf(LimitState state)
{
    switch (state) {
    case LimitState::above:
        return QStringLiteral("▲ ");
    case LimitState::below:
        return QStringLiteral("▼ ");
    case LimitState::within:
        break;
    }
    return {};
}

} // namespace

UnitsAndLimits::UnitsAndLimits(QWidget &window, ReadSession &session, std::function<std::optional<int>()> shownModule,
                               std::function<std::optional<int>()> boxModule)
    : QObject(&window), m_window(window), m_session(session), m_shownModule(std::move(shownModule)),
      m_boxModule(std::move(boxModule))
{
    m_edit = new QAction(tr("单位和限值…"), this);
    m_edit->setObjectName(QStringLiteral("UnitsAction"));
    connect(m_edit, &QAction::triggered, this, [this] {
        // The module typed in may not have been read yet: its units can be set before.
        if (const auto address = m_boxModule() ? m_boxModule() : m_shownModule())
            edit(*address);
    });
    m_interval = new QAction(tr("查询间隔…"), this);
    m_interval->setObjectName(QStringLiteral("IntervalAction"));
    connect(m_interval, &QAction::triggered, this, &UnitsAndLimits::askInterval);
    connect(&m_session, &ReadSession::limitCrossed, this, [this](Condition, int address) { emit changed(address); });
}

void UnitsAndLimits::restore(const ReadoutSettings &defaults, const std::map<int, ReadoutSettings> &own)
{
    m_session.setReadoutDefaults(defaults);
    for (const auto &[address, settings] : own)
        m_session.setReadout(address, settings);
}

void UnitsAndLimits::addTo(int address, QMenu *menu)
{
    menu->addAction(tr("地址 %1 的单位和限值…").arg(address), this, [this, address] { edit(address); });
}

ReadoutDialog *UnitsAndLimits::edit(int address)
{
    delete m_dialog; // one at a time, for the module asked for last
    const auto last = m_session.lastReading(address);
    m_dialog = new ReadoutDialog(address, m_session.readouts().of(address),
                                 last ? std::optional(last->raw) : std::nullopt, &m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QDialog::accepted, this, [this, address, dialog = m_dialog.data()] {
        const auto settings = dialog->settings();
        if (!settings)
            return;
        m_session.setReadout(address, *settings);
        if (m_remember)
            RememberedStore::saveReadout(address, *settings);
        emit changed(address);
    });
    m_dialog->open();
    return m_dialog;
}

void UnitsAndLimits::askInterval()
{
    CycleSettings settings = m_session.cycleSettings();
    bool ok = false;
    const int ms = QInputDialog::getInt(&m_window, tr("查询间隔"),
                                        tr("查询间隔 (毫秒, 0 到 %1; 0 = 模块一应答就再问):")
                                            .arg(CycleSettings::kLongestPollInterval.count()),
                                        static_cast<int>(settings.pollInterval.count()), 0,
                                        static_cast<int>(CycleSettings::kLongestPollInterval.count()), 100, &ok);
    if (!ok || milliseconds(ms) == settings.pollInterval)
        return;
    settings.pollInterval = milliseconds(ms);
    m_session.setCycleSettings(settings); // reads on at once, at the new pace
    if (m_remember)
        RememberedStore::saveInterval(ms);
}

QString UnitsAndLimits::shownText(int address, const QString &text) const
{
    const auto last = m_session.lastReading(address);
    if (!last)
        return text;
    const std::string &unit = m_session.readouts().of(address).units.unit;
    return symbolOf(last->limit) + QString::fromStdString(last->text)
           + (unit.empty() ? QString() : QLatin1Char(' ') + QString::fromStdString(unit));
}

QString UnitsAndLimits::decorate(QLabel *value, bool live) const
{
    const auto address = m_shownModule();
    const auto last = address ? m_session.lastReading(*address) : std::nullopt;
    if (!last)
        return {}; // the form's caption, or nothing of this module yet
    showOn(value, shownText(*address, value->text()));
    if (last->limit == LimitState::within || !live)
        return {};
    QPalette palette = value->palette();
    palette.setColor(QPalette::WindowText, alarmColourOn(m_window.palette().color(QPalette::Window)));
    value->setPalette(palette);
    return windowText(last->limit == LimitState::above ? Condition::aboveHigh : Condition::belowLow,
                      m_session.limitFacts(*address))
        .status;
}

void UnitsAndLimits::showOn(QLabel *value, const QString &text)
{
    // The size the label's font was given by whoever laid the window out: what it had
    // unless it still has the size set here last.
    const char *kWanted = "kvpWantedPointSize";
    const char *kFitted = "kvpFittedPointSize";
    QFont font = value->font();
    qreal wanted = value->property(kWanted).toReal();
    if (wanted <= 0 || font.pointSizeF() != value->property(kFitted).toReal())
        wanted = font.pointSizeF();
    font.setPointSizeF(wanted);
    const int room = value->contentsRect().width() - 2 * value->margin();
    // Fitted to the widest value the module can show, not to this one: the digits
    // keep their size when a symbol of a limit comes and goes.
    const QString widest = value->property("kvpWidest").toString();
    const auto need = [&] {
        const QFontMetrics metrics(font);
        return std::max(metrics.horizontalAdvance(text), metrics.horizontalAdvance(widest));
    };
    // Glyphs do not scale quite in proportion (hinting): step down until it fits.
    for (int n = need(); room > 0 && n > room && font.pointSizeF() > wanted / 2; n = need())
        font.setPointSizeF(std::max(font.pointSizeF() * room / n * 0.98, wanted / 2));
    value->setProperty(kWanted, wanted);
    value->setProperty(kFitted, font.pointSizeF());
    if (font != value->font())
        value->setFont(font);
    value->setText(text);
}

QColor UnitsAndLimits::alarmColourOn(const QColor &background)
{
    // Red, darkened on a light background or lightened on a dark one until it reads.
    const QColor red(0xD0, 0x00, 0x00);
    const bool dark = background.lightnessF() < 0.5;
    for (int step = 0; step <= 20; ++step) {
        const QColor candidate = dark ? red.lighter(100 + step * 10) : red.darker(100 + step * 5);
        if (contrastRatio(candidate, background) >= 4.5)
            return candidate;
    }
    return dark ? QColor(0xFF, 0xB0, 0xB0) : QColor(0x80, 0x00, 0x00);
}

} // namespace kvp
