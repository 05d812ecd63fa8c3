#pragma once

#include "mqtt/BrokerUrl.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvp {

// Where the window publishes its values: the broker's URL, its password (masked,
// never kept) and, for mqtts://, the CA certificate. Non-modal: reading goes on
// behind it.
class MqttDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MqttDialog(QWidget *parent = nullptr);

    // What is in the fields now; the password field, not the URL, shows a password.
    void show(const std::optional<BrokerUrl> &url, const QString &caFile, const QString &state);
    void setState(const QString &state);

signals:
    void connectRequested(const kvp::BrokerUrl &url, const QString &caFile);
    void disconnectRequested();

private:
    void onConnect();

    QLineEdit *m_url;
    QLineEdit *m_password;
    QLineEdit *m_ca;
    QLabel *m_state;
    QPushButton *m_connect;
    QPushButton *m_disconnect;
};

} // namespace kvp
