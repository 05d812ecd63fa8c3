#include "MqttControl.h"

#include "ElidedLabel.h"
#include "MqttDialog.h"
#include "StatusRow.h"

#include "app/ReadSession.h"
#include "app/Remembered.h"
#include "app/WindowText.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QToolButton>

namespace kvp {
namespace {

const QString kUrl = QStringLiteral("mqtt/url");
const QString kCa = QStringLiteral("mqtt/ca");

QSettings settings()
{
    return QSettings(RememberedStore::fileName(), QSettings::IniFormat);
}

} // namespace

MqttControl::MqttControl(ReadSession &session, StatusRow *row, QMenu *menu, QWidget *window, const Options &options)
    : m_session(session), m_window(window), m_label(new ElidedLabel(row))
{
    m_label->setObjectName(QStringLiteral("MqttStateLabel"));
    m_label->setFont(row->portButton()->font()); // the status line's own small font
    m_label->hide();
    row->addWidget(m_label);
    auto *open = new QAction(tr("MQTT 发布…"), window);
    open->setObjectName(QStringLiteral("MqttAction"));
    connect(open, &QAction::triggered, this, &MqttControl::openDialog);
    menu->addSeparator();
    menu->addAction(open);
    connect(&session, &ReadSession::valueShown, this, [this](const QString &text, int address) {
        if (m_feed)
            m_feed->publishValue(text, address);
    });

    // The command line wins for this run; else what the dialog set last time.
    if (options.mqtt) {
        start(*options.mqtt, options.mqttCa);
        return;
    }
    const QSettings remembered = settings();
    if (auto url = BrokerUrl::parse(remembered.value(kUrl).toString(), nullptr)) {
        if (!url->user.isEmpty() && qEnvironmentVariableIsSet("KVP_MQTT_PASSWORD")) {
            url->password = qEnvironmentVariable("KVP_MQTT_PASSWORD");
            url->hasPassword = true;
        }
        start(*url, remembered.value(kCa).toString());
    }
}

MqttControl::~MqttControl()
{
    using namespace std::chrono_literals;
    if (m_publisher)
        m_publisher->finish(2s);
}

void MqttControl::start(const BrokerUrl &url, const QString &caFile)
{
    stop();
    m_url = url;
    m_caFile = caFile;
    m_publisher = std::make_unique<MqttPublisher>(url, caFile);
    m_feed = std::make_unique<MqttFeed>(m_session, *m_publisher);
    connect(m_publisher.get(), &MqttPublisher::stateChanged, this, &MqttControl::showState);
    connect(m_publisher.get(), &MqttPublisher::trouble, this, [this](BrokerTrouble trouble, const QString &detail) {
        m_trouble = windowBrokerText(trouble, *m_url, detail);
        showState();
    });
    connect(m_publisher.get(), &MqttPublisher::connected, this, [this] {
        m_trouble.clear();
        showState();
    });
    m_publisher->start();
    showState();
}

void MqttControl::stop()
{
    using namespace std::chrono_literals;
    m_feed.reset();
    if (m_publisher) {
        m_publisher->finish(500ms); // "offline", and what waits, if the broker is there
        m_publisher.reset();
    }
    m_trouble.clear();
    showState();
}

MqttDialog *MqttControl::openDialog()
{
    if (!m_dialog) {
        m_dialog = new MqttDialog(m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &MqttDialog::connectRequested, this, [this](const BrokerUrl &url, const QString &ca) {
            start(url, ca);
            remember();
        });
        connect(m_dialog, &MqttDialog::disconnectRequested, this, [this] {
            stop();
            m_url.reset();
            remember();
            showState();
        });
    }
    m_dialog->show(m_url, m_caFile, stateText());
    return m_dialog;
}

QString MqttControl::stateText() const
{
    if (!m_publisher)
        return tr("MQTT 关闭");
    switch (m_publisher->state()) {
    case BrokerState::connected:
        return tr("MQTT 已连接");
    case BrokerState::connecting:
        return m_trouble.isEmpty() ? tr("MQTT 连接中") : tr("MQTT 重连中");
    case BrokerState::reconnecting:
        return tr("MQTT 重连中");
    case BrokerState::off:
        break;
    }
    return tr("MQTT 关闭");
}

void MqttControl::showState()
{
    const QString text = stateText();
    m_label->setText(text);
    // Off says nothing on the status line unless a broker was set in this run.
    m_label->setVisible(m_publisher || m_url);
    // Whole in the tooltip when the line is too short for it.
    QString tip = m_url ? text + QLatin1Char('\n') + m_url->masked() : text;
    if (!m_trouble.isEmpty())
        tip += QLatin1Char('\n') + m_trouble;
    m_label->setToolTip(tip);
    if (m_dialog)
        m_dialog->setState(m_trouble.isEmpty() ? text : text + QLatin1Char('\n') + m_trouble);
}

void MqttControl::remember() const
{
    QSettings s = settings();
    if (m_url) {
        BrokerUrl withoutPassword = *m_url;
        withoutPassword.hasPassword = false; // never kept
        s.setValue(kUrl, withoutPassword.masked());
        s.setValue(kCa, m_caFile);
    } else {
        s.remove(kUrl);
        s.remove(kCa);
    }
}

} // namespace kvp
