#pragma once

#include "reader/Readouts.h"

#include <QColor>
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QWidget;

namespace kvp {

class ReadSession;
class ReadoutDialog;

// The window's side of units, limits and the poll interval: a dialog for each
// module's units and limits (from the value's menu and the list of modules' menu),
// the interval in the status line's menu, both remembered; and how a value beyond a
// limit looks: a symbol in front (▲ above the high limit, ▼ below the low one), the
// alarm colour while it is live, and the limit named on the status line.
class UnitsAndLimits : public QObject
{
    Q_OBJECT

public:
    // `shownModule` says which module's value the window shows big, if any;
    // `boxModule` which module the address box holds, if any.
    UnitsAndLimits(QWidget &window, ReadSession &session, std::function<std::optional<int>()> shownModule,
                   std::function<std::optional<int>()> boxModule);

    // The options' units and limits for every module, and the modules' own remembered ones.
    void restore(const ReadoutSettings &defaults, const std::map<int, ReadoutSettings> &own);
    void setRemembering(bool remember) { m_remember = remember; }

    // "Units and limits…" of the module in the address box (else of the one shown),
    // for the value's menu and the status line's.
    QAction *editAction() const { return m_edit; }
    // "Poll interval…", for the status line's menu.
    QAction *intervalAction() const { return m_interval; }
    // Adds "Units and limits…" of `address` to a menu (the list of modules' row menu).
    void addTo(int address, QMenu *menu);

    // Opens the dialog for `address`; what it takes applies at once.
    ReadoutDialog *edit(int address);
    // Asks for the poll interval and applies it, reading on.
    void askInterval();

    // The value of `address` as the window shows it: with the symbol of a limit it is
    // beyond and its unit; `text` as it is when nothing of this applies.
    QString shownText(int address, const QString &text) const;
    // Marks the big value for the module shown, `live` as the window judged it, and
    // gives the state of the line while it is beyond a limit (empty: within, or none set).
    QString decorate(QLabel *value, bool live) const;
    // The colour of a live value beyond a limit on `background`: a red that reads.
    static QColor alarmColourOn(const QColor &background);
    // Shows `text` on the big value, smaller when it would not fit (a symbol and a
    // unit make it longer than a count), at the size its font was given otherwise.
    static void showOn(QLabel *value, const QString &text);

signals:
    // A module's units or limits changed, or its value crossed a limit: what the
    // window shows of it is to be shown anew.
    void changed(int address);

private:
    QWidget &m_window;
    ReadSession &m_session;
    std::function<std::optional<int>()> m_shownModule;
    std::function<std::optional<int>()> m_boxModule;
    QAction *m_edit;
    QAction *m_interval;
    QPointer<ReadoutDialog> m_dialog;
    bool m_remember = false;
};

} // namespace kvp
