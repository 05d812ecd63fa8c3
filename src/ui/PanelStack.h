#pragma once

#include <QObject>

class QScrollArea;
class QWidget;

namespace kvp {

class ModuleListPanel;
class TrendPanel;

// The panels that open below the form, the trend above the list of modules. The
// window grows by their height; on a screen too short for the form and both, the
// trend gives up height down to what still shows a chart, and what is left over
// scrolls, so that the list stays within reach however large the scale.
class PanelStack : public QObject
{
    Q_OBJECT

public:
    // `window` is the form of 468 x 284; the panels become children of the stack.
    PanelStack(QWidget &window, TrendPanel *trend, ModuleListPanel *modules);

    void setTrendOpen(bool open);
    bool trendOpen() const;
    void setModulesOpen(bool open);
    bool modulesOpen() const;

    // The height the open panels take below the form, and putting them at the
    // window's bottom (the window may have been made larger).
    int height() const;
    void place();
    QScrollArea *area() const { return m_area; }

private:
    void layOut();
    // What the panels would take, and what the screen leaves them.
    int wanted() const;
    int room() const;
    int trendHeight() const;

    QWidget &m_window;
    TrendPanel *m_trend;
    ModuleListPanel *m_modules;
    QScrollArea *m_area;
    QWidget *m_box;
    int m_baseHeight = 284; // the window's height when not made larger
};

} // namespace kvp
