#pragma once

#include "ValueColours.h"

#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <optional>

class QMenu;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace kvp {

// The modules on the line, one row each, below the window's form: address, the last
// value, whether it is live, the mean reply time and how old the value is. Rows are
// added by address and removed with a button, Delete or the context menu; choosing
// a row asks for its address in the address box.
//
// Values only land in a map as they come; the table is written from it a few times
// a second and only while the panel is open, so a fast bus costs the window nothing.
class ModuleListPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 176;
    static constexpr int kRefreshMs = 100;

    using Clock = std::chrono::steady_clock;

    // What the reader knows of one module now.
    struct Module {
        // silent, late: on a bus, set aside and asked only in the silent ones' turn.
        enum class State { notRead, live, stale, noAnswer, silent, late };
        State state = State::notRead;
        std::optional<Clock::duration> nextAskIn; // silent or late: when it is asked next, about
        std::optional<std::chrono::duration<double, std::milli>> meanReply; // none before a timed reply
    };
    using Source = std::function<Module(int address)>;

    explicit ModuleListPanel(Source source, QWidget *parent = nullptr);

    QList<int> addresses() const;
    // Ignores what is not an address 0..31 or is already there.
    void setAddresses(const QList<int> &addresses);
    // False when `address` is out of range or already in the list.
    bool addAddress(int address);
    void removeAddress(int address);

    void noteValue(int address, const QString &text, Clock::time_point at);
    // Empty before a value of `address` came.
    QString lastValue(int address) const;
    // The last value of `address` written anew (its units changed); its age stays.
    void updateText(int address, const QString &text);
    // The module in the address box is marked; nothing when the box holds none.
    void setCurrent(std::optional<int> address);
    void setColours(const ValueColours &colours);

    // Writes every row now; the timer calls it while the panel is open.
    void refresh();
    QTableWidget *table() const { return m_table; }

signals:
    void addressChosen(int address);
    void addressesChanged(const QList<int> &addresses);
    // A row's context menu is about to open: whoever wants to may add to it.
    void rowMenu(int address, QMenu *menu);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Shown {
        QString text;
        Clock::time_point at;
    };
    int rowOf(int address) const;
    void insertRow(int address);
    void removeSelected();
    void onCurrentRow(int row);
    void updateButtons();

    Source m_source;
    QTableWidget *m_table = nullptr;
    QSpinBox *m_newAddress = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QTimer m_refresh;
    std::map<int, Shown> m_values;
    std::optional<int> m_current;
    ValueColours m_colours;
    bool m_quiet = false; // rows change by program: the box is not to follow
};

} // namespace kvp
