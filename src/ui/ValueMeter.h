#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <utility>
#include <vector>

class QAction;
class QLabel;
class QWidget;

namespace kvp {

class FullScreenValue;
class PanelStack;

// The value as a meter: in a window made larger the form stays centred at the
// bottom and the value grows into the room above it; F11 shows it alone, full
// screen. At the form's own size nothing moves: the form is as it always was.
class ValueMeter : public QObject
{
    Q_OBJECT

public:
    // `form`: the window's controls besides the value, at their places in the form;
    // `statusRow` stays at the form's bottom and takes the window's width.
    ValueMeter(QWidget &window, QLabel *value, std::vector<QWidget *> form, QWidget *statusRow, PanelStack *panels);
    ~ValueMeter() override;

    // The unit shown after the value in the full-screen view (none when empty).
    void setUnitText(const QString &unit);
    QString unitText() const { return m_unit; }
    // What the window shows now, for the full-screen view.
    void showValue(const QString &text, const QColor &colour);
    void showState(const QString &state);
    // The widest value the shown module's settings can give (see widestValueText):
    // the value's box and font are sized by it, so they stay as the value changes.
    void setWidest(const QString &widest);
    QString widest() const { return m_widest; }

    void setFullScreen(bool on);
    bool fullScreen() const;
    FullScreenValue *fullScreenView() const;
    QAction *fullScreenAction() const { return m_action; }

    // Puts the form and the value where the window's size asks for.
    void layOut();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    QLabel *m_value;
    QWidget *m_statusRow;
    QRect m_statusRect;
    PanelStack *m_panels;
    std::vector<std::pair<QWidget *, QRect>> m_form;
    QRect m_valueRect;
    QFont m_valueFont;
    Qt::Alignment m_valueAlignment;
    QString m_unit;
    QString m_state;
    QString m_widest;
    QColor m_colour;
    QPointer<FullScreenValue> m_full;
    QAction *m_action = nullptr;
};

} // namespace kvp
