#include "ScanSession.h"

#include "protocol/ReplyEvaluation.h"
#include "platform/Link.h"

#include <algorithm>
#include <chrono>

namespace kvp {

ScanSession::ScanSession(Link &link, ScanSettings settings, Framings framings, QObject *parent)
    : QObject(parent), m_link(link), m_cycle(settings, std::move(framings))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // the byte gap ends answers: tens of milliseconds
    connect(&m_timer, &QTimer::timeout, this, &ScanSession::onTimer);
    connect(&m_link, &Link::received, this, &ScanSession::onReceived);
    connect(&m_link, &Link::failed, this, &ScanSession::onPortFailed);
}

void ScanSession::start()
{
    m_over = false;
    apply(m_cycle.start(Clock::now()));
}

void ScanSession::cancel()
{
    if (!m_over)
        apply(m_cycle.cancel(Clock::now()));
}

void ScanSession::onReceived(const QByteArray &bytes, qint16 count)
{
    if (m_over)
        return;
    apply(m_cycle.ShowData(byteSpan(bytes), count, Clock::now()));
}

void ScanSession::onTimer()
{
    if (!m_over)
        apply(m_cycle.tick(Clock::now()));
}

void ScanSession::onPortFailed(Condition failure)
{
    if (m_over)
        return;
    emit portFailed(failure);
    apply(m_cycle.cancel(Clock::now()));
}

void ScanSession::apply(const ScanActions &actions)
{
    if (actions.send) {
        m_link.discardInput();
        m_link.WritePort(*actions.send);
    }
    if (actions.progress)
        emit progress(actions.progress->address, actions.progress->done, actions.progress->total);
    if (actions.found)
        emit found(actions.found->address, QString::fromStdString(ValueText(actions.found->value)));
    if (actions.finished) {
        m_over = true;
        m_timer.stop();
        emit finished();
        return;
    }
    if (const auto due = m_cycle.deadline()) {
        using namespace std::chrono;
        const auto wait = ceil<milliseconds>(*due - Clock::now());
        m_timer.start(static_cast<int>(std::max<milliseconds::rep>(wait.count(), 0)));
    } else {
        m_timer.stop();
    }
}

} // namespace kvp
