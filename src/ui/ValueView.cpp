#include "ValueView.h"

#include "UnitsAndLimits.h"
#include "ValueMeter.h"

#include "app/ReadSession.h"
#include "app/WindowText.h"
#include "protocol/Address.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace kvp {
namespace {

const QString kNoValue = QStringLiteral("—");

QString wallClockText(ValueView::Clock::time_point at)
{
    const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(ValueView::Clock::now() - at);
    QDateTime t = QDateTime::currentDateTime().addMSecs(-ago.count());
    t.setOffsetFromUtc(t.offsetFromUtc()); // the value log's form: with the UTC offset
    return t.toString(Qt::ISODateWithMs);
}

} // namespace

ValueView::ValueView(QLabel *value, QLineEdit *address, ReadSession &session, QObject *parent)
    : QObject(parent), m_value(value), m_address(address), m_session(session),
      m_box(validAddress(address->text().toStdString()))
{
}

std::optional<int> ValueView::boxModuleOnBus() const
{
    const auto box = validAddress(m_address->text().toStdString());
    if (!box || !m_session.onBus())
        return std::nullopt;
    const auto &bus = m_session.cycle().addresses();
    return std::find(bus.begin(), bus.end(), *box) != bus.end() ? box : std::nullopt;
}

std::optional<int> ValueView::target() const
{
    auto box = validAddress(m_address->text().toStdString());
    if (!box)
        box = m_box;
    if (!box || !m_session.onBus())
        return box;
    const auto &bus = m_session.cycle().addresses();
    return std::find(bus.begin(), bus.end(), *box) != bus.end() ? box : std::nullopt;
}

bool ValueView::take(const QString &text, int address)
{
    if (!isShownModule(address))
        return false; // another module's, or a late reply of the one before
    m_caption = false;
    m_shown = address;
    m_text = text;
    m_at = Clock::now();
    show(m_units ? m_units->shownText(address, text) : text);
    return true;
}

void ValueView::follow()
{
    if (const auto box = validAddress(m_address->text().toStdString()))
        m_box = box; // while the box holds none, the last valid one is read on
    const auto now = target();
    if (m_caption || now == m_shown)
        return;
    m_shown.reset();
    m_text.clear();
    // On a bus the module's last value is a reading of this very run, a cycle old.
    const QString last = now && m_lastOnBus ? m_lastOnBus(*now) : QString();
    if (!last.isEmpty() && m_session.lastReading(*now)) {
        m_shown = now;
        m_text = QString::fromStdString(m_session.lastReading(*now)->text);
        m_at = Clock::now();
    }
    show(last.isEmpty() ? kNoValue : last);
}

void ValueView::show(const QString &text)
{
    // With its unit and the symbol of a limit, here and full screen alike.
    UnitsAndLimits::showOn(m_value, text);
    if (m_meter)
        m_meter->showValue(m_value->text(), m_value->palette().color(QPalette::WindowText));
    nameValue();
}

QString ValueView::showState(bool live, const ValueColours &colours)
{
    // Blue only while the value on display is the module's value now. The form's
    // caption is no value at all: it keeps the window's own text colour. "—" before
    // the module's first answer is none either: in blue it would pass for a live reading.
    QPalette palette = m_value->palette();
    palette.setColor(QPalette::WindowText, m_caption           ? m_value->window()->palette().color(QPalette::WindowText)
                                           : live && m_shown ? colours.live
                                                             : colours.stale);
    m_value->setPalette(palette);
    m_live = live;
    // Units, limits and the alarm colour first: the full-screen meter and the value's
    // accessible name show the value as decorated.
    const QString limit = m_units && m_shown ? m_units->decorate(m_value, live) : QString();
    if (m_meter)
        m_meter->showValue(m_value->text(), m_value->palette().color(QPalette::WindowText));
    nameValue();
    return limit;
}

void ValueView::nameValue()
{
    // A screen reader hears the value with its state, as the eye sees its colour.
    const QString state = m_live ? QCoreApplication::translate("kvp", "实时") : QCoreApplication::translate("kvp", "过时");
    m_value->setAccessibleName(m_caption || !m_shown ? m_value->text() : QCoreApplication::translate("kvp", "%1, %2").arg(m_value->text(), state));
}

bool ValueView::copy(bool withTime) const
{
    if (!m_shown || m_text.isEmpty() || m_shown != target())
        return false;
    // A stale value says so: pasted somewhere, it would pass for a reading of now.
    const QString value = m_stale || !m_live ? tr("%1 (过时)").arg(m_text) : m_text;
    QApplication::clipboard()->setText(withTime ? wallClockText(m_at) + QLatin1Char('\t') + value : value);
    return true;
}

QString ValueView::countsTip() const
{
    const auto box = boxModuleOnBus();
    return windowCounterSummary(box ? m_session.cycle().counters(*box) : m_session.cycle().counters(), Clock::now());
}

} // namespace kvp
