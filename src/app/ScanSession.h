#pragma once

#include "condition/Condition.h"
#include "reader/ScanCycle.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace kvp {

class Link;

// Joins the search for modules to a port and to the one timer it needs: for the
// window on the port the read session lends it, for --scan on a port of its own.
// The link must be open and must outlive the search; nobody else may use the
// line meanwhile.
class ScanSession : public QObject
{
    Q_OBJECT

public:
    explicit ScanSession(Link &link, ScanSettings settings = {}, Framings framings = {},
                         QObject *parent = nullptr);

    void start();
    // Ends the search at once; finished() follows.
    void cancel();

    bool running() const { return m_cycle.running(); }
    const ScanCycle &cycle() const { return m_cycle; }

signals:
    void progress(int address, int done, int total);
    void found(int address, const QString &valueText);
    // The search is over: every address was asked, it was cancelled, or the port
    // failed (portFailed() came first).
    void finished();
    void portFailed(kvp::Condition failure);

private:
    void onReceived(const QByteArray &bytes, qint16 count);
    void onTimer();
    void onPortFailed(Condition failure);
    void apply(const ScanActions &actions);

    Link &m_link;
    ScanCycle m_cycle;
    QTimer m_timer;
    bool m_over = false;
};

} // namespace kvp
