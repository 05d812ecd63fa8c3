#pragma once

#include "serial/SerialPorts.h"

#include <QFrame>
#include <QTimer>

#include <functional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace kvp {

// The list of serial ports that drops from the port on the status line: each port
// by its stable name with what it is, kept current while it is open, and a line to
// type any path into. Choosing emits chosen() and closes the list.
class PortPicker : public QFrame
{
    Q_OBJECT

public:
    using Source = std::function<QList<SerialPortEntry>()>;

    explicit PortPicker(Source source, QWidget *parent = nullptr);

    // Shows the list under `anchor` (global), or over it when there is no room
    // below, with `current` marked.
    void popUp(const QString &current, const QRect &anchor);

signals:
    void chosen(const QString &port);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();
    void choose(const QString &port);
    void onItem(QListWidgetItem *item);

    Source m_source;
    QList<SerialPortEntry> m_shown;
    QString m_current;
    QStringList m_servers; // serial servers typed or read from, latest first; no system lists them
    QListWidget *m_list;
    QLineEdit *m_path;
    QTimer m_poll;
};

} // namespace kvp
