#pragma once

#include "DeviceIdentity.h"
#include "PortCondition.h"
#include "PortSettings.h"
#include "condition/Condition.h"
#include "platform/Link.h"

#include <QByteArray>
#include <QSerialPort>

#include <optional>
#include <string>

namespace kvp {

// The one serial port: opened and set up once, every arrival of data handed on as a
// block with its count, commands written byte for byte. Port errors all end up in
// one place, onError(), and leave as failed().
//
// Names keep the old port code's convention: the port control is ctrMSComm (prefix
// ctr), its handler ctrMSComm_OnComm is control and event joined by an underscore,
// and parameters carry their type's prefix (byt for bytes, int for a 16-bit count).
class SerialLink : public Link
{
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);

    // Opens the port unless it is already open, sets the line up, and throws away
    // whatever was received before. A path that is the user's terminal is never
    // opened, and once a device has been opened, the path is opened again only while
    // it is that same device (Condition::portChanged otherwise).
    Condition InitPort(const PortSettings &settings) override;
    void WritePort(const std::string &str) override;
    // Input that arrived but was not asked for, in the driver and in our buffer.
    void discardInput() override;
    void close() override;
    // InitPort for a port the user chose (Read, the port list): whatever device is at
    // the path now is taken. Only an automatic reopen insists on the device it had,
    // and still does after a choice that found nothing there.
    Condition openChosen(const PortSettings &settings) override;

    bool isOpen() const override { return ctrMSComm.isOpen(); }
    // The system's wording of the last port error, for the message's detail.
    QString errorDetail() const override { return m_errorDetail; }

private:
    void ctrMSComm_OnComm();
    void onError(QSerialPort::SerialPortError error);
    PortFacts factsNow(bool wasOpen) const;
    // Why the device went away, from its path now: gone, or there but hung up.
    QString removalReason() const;
    // Refuses what the path must not be opened as, before anything is sent to it.
    Condition checkDevice();

    QSerialPort ctrMSComm;
    PortSettings m_settings;
    QString m_errorDetail;
    std::optional<DeviceIdentity> m_identity; // of the device first opened on this path
    std::optional<DeviceIdentity> m_opening;
};

} // namespace kvp
