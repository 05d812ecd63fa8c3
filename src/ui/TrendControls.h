#pragma once

#include "trend/TrendSeries.h"

#include <QWidget>

class QComboBox;
class QPushButton;

namespace kvp {

// The row above the trend's chart: the span, all modules or the box's, pause, and
// the two saves. It only says what the user chose; the panel acts on it.
class TrendControls : public QWidget
{
    Q_OBJECT

public:
    explicit TrendControls(QWidget *parent = nullptr);

    // The offered span nearest to `span` (a hand-edited settings file asks for any).
    static TrendSeries::Duration nearestSpan(TrendSeries::Duration span);
    // The span as the box offers it: "1 分钟".
    static QString spanText(TrendSeries::Duration span);

    // Show a choice made elsewhere (the settings file, a test); nothing is emitted.
    void showSpan(TrendSeries::Duration span);
    void showAllModules(bool all);
    void showPaused(bool paused);

signals:
    void spanChosen(TrendSeries::Duration span);
    void allModulesChosen(bool all);
    void pauseToggled(bool paused);
    void savePngAsked();
    void saveCsvAsked();

private:
    QComboBox *m_spanBox = nullptr;
    QComboBox *m_modulesBox = nullptr;
    QPushButton *m_pause = nullptr;
};

} // namespace kvp
