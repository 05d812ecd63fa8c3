#pragma once

#include "app/MqttFeed.h"
#include "app/Options.h"
#include "mqtt/MqttPublisher.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QLabel;
class QMenu;
class QWidget;

namespace kvp {

class MqttDialog;
class ReadSession;
class StatusRow;

// The window's publishing to an MQTT broker: set in a small dialog from the status
// line's menu, its state (connected, reconnecting, off) on the status line. The URL
// and CA file are remembered, the password never: KVP_MQTT_PASSWORD gives it at the
// next start, or the dialog does. Made after the window and ended before it.
class MqttControl : public QObject
{
    Q_OBJECT

public:
    MqttControl(ReadSession &session, StatusRow *row, QMenu *menu, QWidget *window, const Options &options);
    ~MqttControl() override;

    // Publishes to `url` from now on, instead of whatever it published to.
    void start(const BrokerUrl &url, const QString &caFile);
    void stop();
    MqttDialog *openDialog();
    const MqttPublisher *publisher() const { return m_publisher.get(); }
    QString stateText() const;

private:
    void showState();
    void remember() const;

    ReadSession &m_session;
    QWidget *m_window;
    QLabel *m_label;
    QPointer<MqttDialog> m_dialog;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<MqttFeed> m_feed;
    std::optional<BrokerUrl> m_url;
    QString m_caFile;
    QString m_trouble; // why the broker is away, in the stderr's words
};

} // namespace kvp
