#pragma once

#include "ModuleListPanel.h"

#include "app/Recording.h"
#include "app/Remembered.h"
#include "condition/Condition.h"

#include <QObject>

#include <optional>
#include <vector>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace kvp {

class FindModuleDialog;
class PanelStack;
class RecordingControl;
class StatusRow;
class ValueView;
class WindowBench;
class WindowNotices;
class ReadSession;
class TrendPanel;
class UnitsAndLimits;

// What the window offers besides its original controls, all of it outside them:
// the trend panel that opens below (Ctrl+T), the list of modules on the line
// (Ctrl+B), which opens below the trend, recording to a CSV file (Ctrl+R),
// copying the value (Ctrl+C, and a menu on the value), and finding the module
// (Ctrl+F). Reached by shortcuts and from two small buttons at the right end of
// the status line; the controls, their texts and places stay as they are.
class WindowExtras : public QObject
{
    Q_OBJECT

public:
    // `window` is the form of 468 x 284; it grows by the panels' height while they
    // are open. `view` is the big value's.
    WindowExtras(QWidget &window, ReadSession &session, ValueView &view, QLineEdit *address, WindowNotices &notices);
    ~WindowExtras() override;
    // Puts the trend's toggle and the row count on the status line, and the actions
    // into its menu.
    void attachTo(StatusRow *row, QMenu *menu);

    void setTrendOpen(bool open);
    bool trendOpen() const;
    TrendPanel *trend() const { return m_trend; }
    // Opens the trend as it was left last time, with its span and choice of modules.
    void restoreTrend(const Remembered &last);
    // Why the trend has no chart (its library is missing); empty when it has one.
    QString trendNote() const;

    void setModulesOpen(bool open);
    bool modulesOpen() const;
    ModuleListPanel *modules() const { return m_modules; }
    // Whether a value of `address` is the one the window shows big, copies and
    // draws (see ValueView).
    bool isShownModule(int address) const;
    // Read with two or more modules in the list, the box's among them, reads them
    // as a bus; otherwise the box's module alone, as the form always did.
    void followModuleList();
    // On a bus, the module in the address box when it is one of the bus.
    std::optional<int> boxModuleOnBus() const;

    // Asks for a file when `path` is empty. Shows why, and returns false, when it
    // cannot be written.
    bool startRecording(const QString &path = {});
    void stopRecording();
    const Recording &recording() const;

    // The value shown, alone or after the time it came. False when none is shown.
    bool copyValue(bool withTime);

    // Opens the search for modules; the address picked goes into the address box,
    // or every address found into the list of modules, which is then read.
    FindModuleDialog *findModule();

    QAction *action(const char *name) const;
    // Units, limits and the poll interval, and how a value beyond a limit looks.
    UnitsAndLimits *units() const { return m_units; }
    PanelStack *panels() const { return m_panels; }

signals:
    // The list of modules holds every address found; the window reads them.
    void readAllFound();
    // The trend was opened or closed, or its span or modules chosen: worth keeping.
    void trendChoiceChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onValue(const QString &text, int address);
    ModuleListPanel::Module moduleNow(int address) const;
    void onCondition(Condition condition);
    void setStale(bool stale);
    // The trend keeps the modules of the list and the box's.
    void followInTrend();
    void buildBar();
    QAction *addAction(const char *name, const QString &text, const QKeySequence &keys);

    QWidget &m_window;
    ReadSession &m_session;
    ValueView &m_view;
    QLineEdit *m_address;
    WindowNotices &m_notices;
    TrendPanel *m_trend = nullptr;
    ModuleListPanel *m_modules = nullptr;
    PanelStack *m_panels = nullptr;
    QWidget *m_bar = nullptr;
    std::vector<QAction *> m_menuActions; // null: a separator
    QLabel *m_recLabel = nullptr;
    QLabel *m_trendNote = nullptr;
    QAction *m_trendAction = nullptr;
    QAction *m_modulesAction = nullptr;
    QAction *m_recordAction = nullptr;
    QPointer<FindModuleDialog> m_find;
    UnitsAndLimits *m_units = nullptr;
    RecordingControl *m_recording = nullptr;
    WindowBench *m_bench = nullptr;
};

} // namespace kvp
