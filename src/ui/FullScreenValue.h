#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

namespace kvp {

// The value alone, as large as the screen allows, with its unit and its state below
// it: the window as a meter to be read from across a room. F11 or Esc closes it.
class FullScreenValue : public QWidget
{
    Q_OBJECT

public:
    explicit FullScreenValue(const QFont &valueFont, QWidget *parent = nullptr);

    void setValue(const QString &text, const QColor &colour);
    void setUnit(const QString &unit);
    void setState(const QString &state);
    // The widest value the module's settings can give: the number is sized by it.
    void setWidest(const QString &widest);
    QLabel *valueLabel() const { return m_value; }
    QLabel *unitLabel() const { return m_unit; }
    QLabel *stateLabel() const { return m_state; }

signals:
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();
    void nameValue();

    QLabel *m_value;
    QLabel *m_unit;
    QLabel *m_state;
    QString m_widest;
};

} // namespace kvp
