#include "MqttDialog.h"

#include "app/WindowText.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace kvp {

MqttDialog::MqttDialog(QWidget *parent)
    : QDialog(parent), m_url(new QLineEdit(this)), m_password(new QLineEdit(this)), m_ca(new QLineEdit(this)),
      m_state(new QLabel(this))
{
    setWindowTitle(tr("MQTT 发布"));
    setObjectName(QStringLiteral("MqttDialog"));
    m_url->setObjectName(QStringLiteral("MqttUrl"));
    m_url->setPlaceholderText(QStringLiteral("mqtt://HOST[:PORT]/PREFIX"));
    m_url->setMinimumWidth(320);
    m_password->setObjectName(QStringLiteral("MqttPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(tr("不保存"));
    m_ca->setObjectName(QStringLiteral("MqttCa"));
    m_ca->setPlaceholderText(tr("仅 mqtts://; 空: 系统证书"));
    auto *browse = new QToolButton(this);
    browse->setText(tr("浏览…"));
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, tr("CA 证书"), m_ca->text(),
                                                          tr("证书 (*.pem *.crt);;所有文件 (*)"));
        if (!file.isEmpty())
            m_ca->setText(file);
    });
    auto *caRow = new QHBoxLayout;
    caRow->addWidget(m_ca);
    caRow->addWidget(browse);
    auto *form = new QFormLayout;
    form->addRow(tr("代理地址:"), m_url);
    form->addRow(tr("密码:"), m_password);
    form->addRow(tr("CA 证书:"), caRow);
    m_state->setObjectName(QStringLiteral("MqttState"));
    m_state->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    m_connect = buttons->addButton(tr("连接"), QDialogButtonBox::AcceptRole);
    m_connect->setObjectName(QStringLiteral("MqttConnect"));
    m_disconnect = buttons->addButton(tr("断开"), QDialogButtonBox::ActionRole);
    m_disconnect->setObjectName(QStringLiteral("MqttDisconnect"));
    buttons->addButton(tr("关闭"), QDialogButtonBox::RejectRole);
    // Connect does not close the dialog: its state line says how the connection went.
    disconnect(buttons, &QDialogButtonBox::accepted, nullptr, nullptr);
    connect(m_connect, &QPushButton::clicked, this, &MqttDialog::onConnect);
    connect(m_disconnect, &QPushButton::clicked, this, &MqttDialog::disconnectRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_state);
    layout->addWidget(buttons);
}

void MqttDialog::show(const std::optional<BrokerUrl> &url, const QString &caFile, const QString &state)
{
    if (url) {
        BrokerUrl withoutPassword = *url;
        withoutPassword.hasPassword = false;
        m_url->setText(withoutPassword.masked());
        m_password->setText(url->hasPassword ? url->password : QString());
    }
    m_ca->setText(caFile);
    setState(state);
    QDialog::show();
    raise();
    activateWindow();
}

void MqttDialog::setState(const QString &state)
{
    m_state->setText(state);
}

void MqttDialog::onConnect()
{
    BrokerUrlFault fault{};
    QString part;
    std::optional<BrokerUrl> url = BrokerUrl::parse(m_url->text().trimmed(), nullptr, &fault, &part);
    if (!url) {
        setState(tr("地址无效: %1").arg(windowBrokerUrlText(fault, part)));
        return;
    }
    // A password typed into the URL moves to its masked field.
    if (url->hasPassword && m_password->text().isEmpty())
        m_password->setText(url->password);
    url->password = m_password->text();
    url->hasPassword = !url->password.isEmpty();
    BrokerUrl shown = *url;
    shown.hasPassword = false;
    m_url->setText(shown.masked());
    emit connectRequested(*url, url->tls ? m_ca->text().trimmed() : QString());
}

} // namespace kvp
