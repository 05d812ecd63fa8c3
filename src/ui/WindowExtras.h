#pragma once

#include "ModuleListPanel.h"

#include "app/Recording.h"
#include "app/Remembered.h"
#include "condition/Condition.h"
#include "trend/TrendSeries.h"

#include <QObject>

#include <optional>
#include <vector>
#include <QPointer>
#include <QString>
#include <QTimer>

class QAction;
class QMenu;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace kvp {

class FindModuleDialog;
class StatusRow;
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
    // `window` is the form of 468 x 284; it grows by the trend panel's height while
    // the panel is open.
    WindowExtras(QWidget &window, ReadSession &session, QLabel *value, QLineEdit *address);
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
    // draws: on a bus only the module in the address box; else every value but a
    // late one of the module read before another address was typed.
    bool isShownModule(int address) const;
    // On a bus, the module in the address box when it is one of the bus.
    std::optional<int> boxModuleOnBus() const;

    // Asks for a file when `path` is empty. Shows why, and returns false, when it
    // cannot be written.
    bool startRecording(const QString &path = {});
    void stopRecording();
    const Recording &recording() const { return m_recording; }

    // The value shown, alone or after the time it came ("time<TAB>value", which a
    // spreadsheet splits into two cells). False when no value was shown yet.
    bool copyValue(bool withTime);

    // Opens the search for modules; the address picked goes into the address box,
    // or every address found into the list of modules, which is then read.
    FindModuleDialog *findModule();


    QAction *action(const char *name) const;
    // Units, limits and the poll interval, and how a value beyond a limit looks.
    UnitsAndLimits *units() const { return m_units; }

    // The height of the panels open below the form, and putting them at the
    // window's bottom (the window may have been made larger).
    int panelsHeight() const;
    void placePanels();

signals:
    // The list of modules holds every address found; the window reads them.
    void readAllFound();
    // The trend was opened or closed, or its span or modules chosen: worth keeping.
    void trendChoiceChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onValue(const QString &text, int address);
    // The panels that are open, one below the other under the form.
    void layOutPanels();
    ModuleListPanel::Module moduleNow(int address) const;
    void onCondition(Condition condition);
    void setStale(bool stale);
    // The trend keeps the modules of the list and the box's.
    void followInTrend();
    // The trend's height: its own, or less on a screen too short for it.
    int trendHeight(int above) const;
    void showRecordingState();
    QString shortFileName(const QString &path) const;
    void recordingFailed();
    void startBenchIfAsked();
    QAction *addAction(const char *name, const QString &text, const QKeySequence &keys);

    QWidget &m_window;
    ReadSession &m_session;
    QLabel *m_value;
    QLineEdit *m_address;
    TrendPanel *m_trend = nullptr;
    ModuleListPanel *m_modules = nullptr;
    QWidget *m_bar = nullptr;
    std::vector<QAction *> m_menuActions; // null: a separator
    QLabel *m_recLabel = nullptr;
    QLabel *m_trendNote = nullptr;
    QToolButton *m_trendButton = nullptr;
    QAction *m_trendAction = nullptr;
    QToolButton *m_modulesButton = nullptr;
    QAction *m_modulesAction = nullptr;
    QAction *m_recordAction = nullptr;
    QPointer<FindModuleDialog> m_find;
    int m_baseHeight = 284; // the window's height when not made larger
    UnitsAndLimits *m_units = nullptr;
    std::optional<int> m_lastShownAddress; // of the value shown big last, when not on a bus

    Recording m_recording;
    QTimer m_recLabelTimer; // the row count follows a few times a second, not per value

    QString m_lastText;
    TrendSeries::TimePoint m_lastAt{};
    bool m_stale = false;

    // A hidden mode for the benchmark: read N values, print the rate, and quit.
    qint64 m_benchValues = 0;
    qint64 m_benchSeen = 0;
    TrendSeries::TimePoint m_benchStart{};
};

} // namespace kvp
