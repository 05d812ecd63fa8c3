#pragma once

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QMenu;
class QToolButton;

namespace kvp {

// The line under the buttons: the state on the left, then whatever others put on
// it, then the port (a click opens the port list) and a menu button.
//
// To add to it: addWidget() puts a widget (a toggle, a counter) left of the port;
// statusMenu() is the menu behind the button at the right end.
//
// When the line is short the state's words stay whole; what has a tooltip gives way
// for them, in this order: the recording's file name, the counts, the MQTT state, the port.
class StatusRow : public QWidget
{
    Q_OBJECT

public:
    // Takes `state` (the form's status label) into the row, in its place.
    explicit StatusRow(QLabel *state, QWidget *parent);

    void addWidget(QWidget *widget);
    QMenu *statusMenu() const { return m_menu; }
    QToolButton *portButton() const { return m_port; }
    // The port's name, shortened in the middle when it does not fit.
    void setPort(const QString &port, const QString &toolTip);
    // The row's buttons, as they are now, come after `previous` in the tab order.
    void followInTabOrder(QWidget *previous);

signals:
    void portClicked();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    QLabel *m_state;
    QString m_portName;
    QString m_countsText; // the counts whole, as their owner wrote them
    QString m_countsShown;
    QHBoxLayout *m_layout;
    QToolButton *m_port;
    QToolButton *m_menuButton;
    QMenu *m_menu;
};

} // namespace kvp
