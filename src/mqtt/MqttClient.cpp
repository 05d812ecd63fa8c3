#include "MqttClient.h"

#include "MqttAvailable.h"
#include "ValueMessages.h"
#include "platform/SocketOptions.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace kvp {
namespace {

using namespace std::chrono_literals;

constexpr auto kFirstRetry = 1s;
constexpr auto kLongestRetry = 30s;
constexpr auto kConnectTimeout = 10s;
constexpr int kKeepAliveSeconds = 30;
constexpr auto kBurst = 10ms; // how long a message may wait to be sent with others
// Messages handed to the library and not yet acknowledged. More would only move the
// waiting from our bounded queue into the library's unbounded one.
constexpr std::size_t kWindow = 200;
constexpr int kQos = 1; // acknowledged, so that a message sent into a dying connection is sent again
// What the broker may send: a TLS handshake at first (certificates included), then as
// much again for each answer we are owed, and a little a second for the keep-alive.
constexpr std::uint64_t kFirstBytes = 256 * 1024;
constexpr std::uint64_t kBytesAnAnswer = 1024;
constexpr std::uint64_t kBytesASecond = 16;
// The kernel's receive buffer: one read of the library's takes no more.
constexpr int kReceiveBuffer = 64 * 1024;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

bool mqttInThisBuild()
{
    return true;
}

bool mqttTlsInThisBuild()
{
    // A libmosquitto built without TLS says so only when asked to use it.
    initLibrary();
    mosquitto *probe = mosquitto_new(nullptr, true, nullptr);
    if (!probe)
        return true; // the connection will say what fails
    const int rc = mosquitto_tls_set(probe, nullptr, ".", nullptr, nullptr, nullptr);
    mosquitto_destroy(probe);
    return rc != MOSQ_ERR_NOT_SUPPORTED;
}

MqttClient::MqttClient(BrokerUrl url, QString caFile, PublicationInbox &inbox, std::size_t capacity)
    : m_url(std::move(url)), m_caFile(std::move(caFile)), m_inbox(inbox), m_queue(capacity)
{
    initLibrary();
    m_misc.setInterval(1s);
    connect(&m_misc, &QTimer::timeout, this, [this] {
        m_mayHaveRead += kBytesASecond; // the keep-alive's answers
        if (m_mosq)
            afterLibrary(mosquitto_loop_misc(m_mosq));
    });
    m_burst.setSingleShot(true);
    m_burst.setInterval(kBurst);
    connect(&m_burst, &QTimer::timeout, this, [this] {
        takeInbox();
        pump();
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttClient::attempt);
    m_attempt.setSingleShot(true);
    connect(&m_attempt, &QTimer::timeout, this, [this] { fail(BrokerTrouble::noAnswer, {}); });
}

MqttClient::~MqttClient()
{
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup);
    tearDown();
}

void MqttClient::start()
{
    setState(BrokerState::connecting);
    attempt();
}

void MqttClient::wake()
{
    // Sent in bursts: every write to the socket wakes the broker, and on a busy machine
    // that wake-up costs more than the write itself.
    if (!m_finished && !m_burst.isActive())
        m_burst.start();
}

void MqttClient::takeInbox()
{
    // Formatted here, off the reading thread.
    for (Publication &p : m_inbox.takeAll()) {
        if (p.stateOnly) {
            push(stateMessage(m_url.prefix, p.value.address, p.value.state));
            continue;
        }
        for (MqttMessage &m : valueMessages(m_url.prefix, p.value))
            push(std::move(m));
    }
}

void MqttClient::push(MqttMessage message)
{
    if (message.retained)
        m_retained.insert_or_assign(message.topic, message);
    m_queue.push(std::move(message));
}

bool MqttClient::readTooMuch()
{
    // The broker sends us CONNACK, PUBACKs and PINGRESPs, a few bytes each (more with
    // TLS, and its handshake first). The library takes any packet length a header
    // claims and gathers the packet for as long as it comes: a broken or hostile
    // broker could fill the memory. So the bytes taken from the socket are held to
    // what an answer we are owed, or the time, allows.
    if (!m_mosq)
        return false;
    const auto taken = bytesTaken(mosquitto_socket(m_mosq));
    return taken && *taken > m_mayHaveRead;
}

void MqttClient::attempt()
{
    if (m_finished)
        return;
    m_attempt.start(kConnectTimeout);
    // The library would resolve the name itself, blocking the event loop (and so the
    // reading) for as long as a slow DNS server takes.
    // By the slot's name: Qt 6.4 hands the member-pointer form's result over through a
    // slot object that a lookup made on a thread other than the main one may use after
    // it was freed (AddressSanitizer, on the reconnection after a failed TLS handshake).
    m_lookup = QHostInfo::lookupHost(m_url.host, this, SLOT(onLookedUp(QHostInfo)));
}

void MqttClient::onLookedUp(const QHostInfo &info)
{
    m_lookup = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        fail(BrokerTrouble::unknownHost, info.errorString());
        return;
    }
    connectNow();
}

void MqttClient::connectNow()
{
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!m_mosq) {
        fail(BrokerTrouble::other, socketErrorText(errno));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnack);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::onPuback);
    if (!m_url.user.isEmpty())
        mosquitto_username_pw_set(m_mosq, m_url.user.toUtf8().constData(),
                                  m_url.hasPassword ? m_url.password.toUtf8().constData() : nullptr);
    const MqttMessage will = statusMessage(m_url.prefix, false);
    mosquitto_will_set(m_mosq, will.topic.constData(), static_cast<int>(will.payload.size()), will.payload.constData(),
                       kQos, true);
    if (m_url.tls) {
        // Without --mqtt-ca the system's trusted authorities vouch for the broker.
        const QByteArray ca = m_caFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_NOT_SUPPORTED) {
            fail(BrokerTrouble::other, mqttTlsMissingText());
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            fail(BrokerTrouble::tlsFailed, m_caFile.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc))
                                                                : QStringLiteral("cannot use %1").arg(m_caFile));
            return;
        }
    }
    errno = 0;
    const int rc = mosquitto_connect_async(m_mosq, m_url.host.toUtf8().constData(), m_url.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO) {
        if (rc == MOSQ_ERR_TLS)
            fail(BrokerTrouble::tlsFailed,
                 m_caFile.isEmpty() ? QString() : QStringLiteral("is %1 a CA certificate?").arg(m_caFile));
        else
            fail(rc == MOSQ_ERR_EAI ? BrokerTrouble::unknownHost : BrokerTrouble::other,
                 QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    if (rc == MOSQ_ERR_ERRNO && socketFailure(errno) != SocketFailure::inProgress) {
        afterLibrary(rc);
        return;
    }
    // With TLS the library writes its first handshake message at once; a refusal that
    // is already back fails that write, and would otherwise wait out the time-out.
    if (socketFailure(errno) == SocketFailure::refused) {
        fail(BrokerTrouble::refused, {});
        return;
    }
    const int fd = mosquitto_socket(m_mosq);
    limitReceiveBuffer(fd, kReceiveBuffer);
    m_mayHaveRead = kFirstBytes;
    m_readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] { onSocket(false); });
    connect(m_writable.get(), &QSocketNotifier::activated, this, [this] { onSocket(true); });
    // Writable first of all when the connection is made: then a TLS handshake can begin.
    m_socketUp = false;
    m_misc.start();
}

void MqttClient::onSocket(bool writable)
{
    if (!m_mosq)
        return;
    errno = 0;
    if (!m_socketUp) {
        // The connection is made or failed. TLS would take a refusal for a failed
        // handshake, or leave it to the time-out: it is said for what it is.
        if (const int error = pendingError(mosquitto_socket(m_mosq)); error != 0) {
            // A broker that speaks no TLS resets the connection at our first handshake
            // message; seen before the library reads, it is the handshake that failed.
            const SocketFailure failure = socketFailure(error);
            if (failure == SocketFailure::reset && m_url.tls)
                fail(BrokerTrouble::tlsFailed, {});
            else
                fail(failure == SocketFailure::refused ? BrokerTrouble::refused : BrokerTrouble::other,
                     socketErrorText(error));
            return;
        }
    }
    m_socketUp = m_socketUp || writable;
    if (readTooMuch()) {
        fail(BrokerTrouble::other, QStringLiteral("it sent more than any answer takes; not an MQTT broker?"));
        return;
    }
    // Until the broker has answered, a writable socket may be a TLS handshake that waits
    // for its next step, which only the library's read side takes.
    if (writable && !m_connected) {
        if (const int rc = mosquitto_loop_read(m_mosq, 1); rc != MOSQ_ERR_SUCCESS || !m_mosq) {
            afterLibrary(rc);
            return;
        }
    }
    afterLibrary(writable ? mosquitto_loop_write(m_mosq, 1) : mosquitto_loop_read(m_mosq, 1));
}

void MqttClient::onConnack(mosquitto *, void *self, int code)
{
    static_cast<MqttClient *>(self)->m_connack = code;
}

void MqttClient::onPuback(mosquitto *, void *self, int id)
{
    static_cast<MqttClient *>(self)->m_acks.push_back(id);
}

void MqttClient::afterLibrary(int rc)
{
    const int error = errno;
    for (const int id : m_acks)
        m_queue.acknowledge(id);
    // An answer came whole: what the broker may send is counted from here.
    if (!m_acks.empty() || m_connack >= 0)
        if (const auto taken = m_mosq ? bytesTaken(mosquitto_socket(m_mosq)) : std::nullopt)
            m_mayHaveRead = std::max(m_mayHaveRead, *taken + kBytesAnAnswer * (m_queue.inFlight() + 1));
    m_acks.clear();
    if (const int code = std::exchange(m_connack, -1); code >= 0) {
        if (code != 0) {
            fail(code == CONNACK_REFUSED_BAD_USERNAME_PASSWORD ? BrokerTrouble::loginRefused
                 : code == CONNACK_REFUSED_NOT_AUTHORIZED     ? BrokerTrouble::notAuthorised
                                                              : BrokerTrouble::other,
                 QString::fromUtf8(mosquitto_connack_string(code)));
            return;
        }
        m_connected = true;
        m_attempt.stop();
        m_backOff = kFirstRetry;
        // Not queued: "online" says what is true now, and is no news once the broker is away again.
        const MqttMessage online = statusMessage(m_url.prefix, true);
        mosquitto_publish(m_mosq, nullptr, online.topic.constData(), static_cast<int>(online.payload.size()),
                          online.payload.constData(), kQos, true);
        // A broker that restarted without persistence knows no module's value or state
        // any more: each goes again, unless a newer one is on its way anyway.
        for (const auto &[topic, message] : m_retained)
            if (!m_queue.holds(topic))
                m_queue.push(message);
        setState(BrokerState::connected);
        emit connected();
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        if (!m_connected && (socketFailure(error) == SocketFailure::refused || rc == MOSQ_ERR_CONN_REFUSED))
            fail(BrokerTrouble::refused, {});
        else if (rc == MOSQ_ERR_TLS)
            fail(BrokerTrouble::tlsFailed, {});
        else if (rc == MOSQ_ERR_ERRNO)
            fail(BrokerTrouble::lost, socketErrorText(error));
        else
            fail(BrokerTrouble::lost, rc == MOSQ_ERR_CONN_LOST ? QString()
                                                               : QString::fromUtf8(mosquitto_strerror(rc)));
        return;
    }
    pump();
    watchWrites();
}

void MqttClient::watchWrites()
{
    // Only while the library has something to write (a TLS handshake included), or
    // the connection is still being made: a socket is nearly always writable.
    if (m_writable && m_mosq)
        m_writable->setEnabled(!m_socketUp || mosquitto_want_write(m_mosq));
}

void MqttClient::pump()
{
    if (!m_mosq || !m_connected)
        return;
    while (m_queue.hasUnsent() && m_queue.inFlight() < kWindow) {
        const MqttMessage &m = m_queue.nextUnsent();
        int id = 0;
        errno = 0;
        const int rc = mosquitto_publish(m_mosq, &id, m.topic.constData(), static_cast<int>(m.payload.size()),
                                         m.payload.constData(), kQos, m.retained);
        if (rc != MOSQ_ERR_SUCCESS) {
            afterLibrary(rc);
            return;
        }
        m_queue.markSent(id);
    }
    watchWrites();
}

void MqttClient::fail(BrokerTrouble what, const QString &detail)
{
    tearDown();
    m_queue.connectionLost();
    if (m_finished)
        return;
    setState(m_state == BrokerState::connecting ? BrokerState::connecting : BrokerState::reconnecting);
    emit trouble(what, detail);
    m_retry.start(m_backOff);
    m_backOff = std::min<std::chrono::milliseconds>(m_backOff * 2, kLongestRetry);
}

void MqttClient::tearDown()
{
    m_attempt.stop();
    m_misc.stop();
    // The notifiers go before the library closes the socket they watch.
    m_readable.reset();
    m_writable.reset();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    m_connected = false;
    m_connack = -1;
    m_acks.clear();
}

void MqttClient::setState(BrokerState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

std::size_t MqttClient::finish(std::chrono::milliseconds wait)
{
    if (m_finished)
        return m_queue.size();
    const QDeadlineTimer deadline(wait);
    // A short run may end while the first connection is still being made (a name
    // lookup, a TLS handshake): its values are worth that wait too.
    if (!m_connected && (m_mosq || m_lookup >= 0)) {
        QEventLoop loop;
        QTimer::singleShot(wait, &loop, &QEventLoop::quit);
        connect(this, &MqttClient::connected, &loop, &QEventLoop::quit);
        connect(this, &MqttClient::trouble, &loop, &QEventLoop::quit);
        loop.exec();
    }
    takeInbox();
    if (m_connected) {
        m_queue.push(statusMessage(m_url.prefix, false));
        pump();
        // The event loop is over: the library's own loop carries the rest.
        while (m_connected && m_queue.size() > 0 && !deadline.hasExpired()) {
            errno = 0;
            afterLibrary(mosquitto_loop(m_mosq, 50, 1));
        }
        if (m_connected) {
            mosquitto_disconnect(m_mosq);
            mosquitto_loop(m_mosq, 50, 1);
        }
    }
    m_finished = true;
    m_retry.stop();
    m_burst.stop();
    tearDown();
    return m_queue.size();
}

} // namespace kvp
