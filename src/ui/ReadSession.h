#pragma once

#include "platform/Failure.h"
#include "reader/ReadCycle.h"
#include "serial/PortSettings.h"
#include "serial/SerialLink.h"

#include <QObject>
#include <QTimer>

namespace kvp {

// Joins the read cycle to the port and to the one timer it needs, for the window
// and the console alike.
class ReadSession : public QObject
{
    Q_OBJECT

public:
    explicit ReadSession(const PortSettings &port, CycleSettings cycle = {}, QObject *parent = nullptr);

    Failure open();
    QString failureText(Failure failure) const;

    void setAddressText(const QString &text);
    // False when the address box holds no address 0..31; nothing was sent then.
    bool read();
    void stop();

    const ReadCycle &cycle() const { return m_cycle; }
    CycleStatus status() const { return m_cycle.status(); }
    QString portName() const { return m_port.portName; }
    bool portOpen() const { return m_link.isOpen(); }

signals:
    void valueShown(const QString &valueText);
    void statusChanged(const kvp::CycleStatus &status);
    // The port failed while open; reading has stopped.
    void portFailed(kvp::Failure failure, const QString &message);

private:
    void onReceived(const QByteArray &bytes, qint16 count);
    void onTimer();
    void onPortFailed(Failure failure);
    void apply(const CycleActions &actions);

    PortSettings m_port;
    SerialLink m_link;
    ReadCycle m_cycle;
    QTimer m_timer;
    CycleStatus m_reported;
};

} // namespace kvp

Q_DECLARE_METATYPE(kvp::CycleStatus)
