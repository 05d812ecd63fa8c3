#pragma once

#include "ValueColours.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;

namespace kvp {

class ReadSession;
class UnitsAndLimits;
class ValueMeter;

// The big value and the module it belongs to. A number is shown, copied and named
// only under the address it came from: the module the window shows is the one in
// the address box (the last valid one while the box holds none), on a bus only if
// it is one of the bus; whenever that module changes, the number of the one before
// leaves the display, whatever order typing, Enter, Read and Stop came in.
class ValueView : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    // The last value of a module on the bus, as the list of modules has it; empty when none.
    using LastOnBus = std::function<QString(int address)>;

    ValueView(QLabel *value, QLineEdit *address, ReadSession &session, QObject *parent);
    void setUnits(UnitsAndLimits *units) { m_units = units; }
    void setMeter(ValueMeter *meter) { m_meter = meter; }
    void setLastOnBus(LastOnBus last) { m_lastOnBus = std::move(last); }

    // The module whose values the window shows now, if any.
    std::optional<int> target() const;
    bool isShownModule(int address) const { return target() == address; }
    // On a bus, the module in the address box when it is one of the bus.
    std::optional<int> boxModuleOnBus() const;
    // The module whose value is on display, once one is.
    std::optional<int> shownAddress() const { return m_shown; }
    // The form's caption is still there: nothing was read yet.
    bool caption() const { return m_caption; }

    // A value of `address` came; false when it is not the shown module's.
    bool take(const QString &text, int address);
    // The module to show may have changed (the box, the bus): the value of another
    // module leaves the display.
    void follow();
    // Colours the value, live or not, and decorates it with its unit and limit; gives
    // the line's state while the value is beyond a limit (else empty).
    QString showState(bool live, const ValueColours &colours);
    void setStale(bool stale) { m_stale = stale; }

    // The value shown, alone or after the time it came ("time<TAB>value", which a
    // spreadsheet splits into two cells). False when no value is shown.
    bool copy(bool withTime) const;
    // The counts of the run of the module shown, for the value's tooltip.
    QString countsTip() const;

private:
    void show(const QString &text);
    void nameValue();

    QLabel *m_value;
    QLineEdit *m_address;
    ReadSession &m_session;
    UnitsAndLimits *m_units = nullptr;
    ValueMeter *m_meter = nullptr;
    LastOnBus m_lastOnBus;
    std::optional<int> m_box; // the last valid address in the box
    std::optional<int> m_shown;
    bool m_caption = true;
    bool m_live = true;
    bool m_stale = false;
    QString m_text; // as the module's settings made it, without unit or symbol
    Clock::time_point m_at{};
};

} // namespace kvp
