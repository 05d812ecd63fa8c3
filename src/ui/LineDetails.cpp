#include "LineDetails.h"

#include "PlaceBeside.h"
#include "StatusRow.h"
#include "TrafficView.h"

#include "app/ReadSession.h"

#include <QAction>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

namespace kvp {
namespace {

constexpr int kTickMs = 1000;

} // namespace

LineDetails::LineDetails(QWidget &window, ReadSession &session, StatusRow *row)
    : QObject(&window), m_window(window), m_session(session), m_action(new QAction(tr("线路通信…"), &window)),
      m_counts(new QToolButton(row))
{
    m_action->setObjectName(QStringLiteral("TrafficAction"));
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_action->setToolTip(tr("最近 %1 条命令和应答 (Ctrl+M)").arg(m_ring.capacity()));
    connect(m_action, &QAction::triggered, this, &LineDetails::openTraffic);
    window.addAction(m_action);

    m_counts->setObjectName(QStringLiteral("LineCounts"));
    m_counts->setAutoRaise(true);
    m_counts->setFont(row->portButton()->font());
    m_counts->setFixedHeight(row->portButton()->height());
    m_counts->setCursor(Qt::PointingHandCursor);
    m_counts->setToolTip(m_action->toolTip());
    m_counts->hide();
    connect(m_counts, &QToolButton::clicked, this, &LineDetails::openTraffic);
    row->addWidget(m_counts);

    connect(&m_session, &ReadSession::traffic, this, [this](const TrafficEntry &entry) {
        m_ring.add(entry);
        if (m_view)
            m_view->entryAdded();
    });
    // Ticks only while reading: an idle window wakes nobody.
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, qOverload<>(&LineDetails::update));
    connect(&m_session, &ReadSession::conditionChanged, this, qOverload<>(&LineDetails::update));
}

LineDetails::~LineDetails()
{
    delete m_view;
}

TrafficView *LineDetails::trafficView() const
{
    return m_view;
}

TrafficView *LineDetails::openTraffic()
{
    if (!m_view) {
        m_view = new TrafficView(m_ring, &m_window);
        m_view->setAttribute(Qt::WA_DeleteOnClose);
        placeBeside(*m_view, m_window);
    }
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
    update();
    return m_view;
}

void LineDetails::update(TimePoint now)
{
    const CycleCounters counters = m_session.cycle().counters();
    if (m_session.cycle().reading() && !m_tick.isActive()) {
        // Reading starts: the rate is measured from now, not from the last run.
        m_lastGood = counters.goodValues;
        m_lastAt = now;
        m_rate = 0;
        m_counts->setMinimumWidth(0);
    }
    // Over the last tick, not the whole run: the rate now, not its history.
    const std::uint64_t good = counters.goodValues >= m_lastGood ? counters.goodValues - m_lastGood : counters.goodValues;
    const double seconds = std::chrono::duration<double>(now - m_lastAt).count();
    if (m_lastAt != TimePoint{} && seconds > 0.2)
        m_rate = good / seconds;
    if (seconds > 0.2 || m_lastAt == TimePoint{}) {
        m_lastGood = counters.goodValues;
        m_lastAt = now;
    }
    const bool reading = m_session.cycle().reading();
    if (reading) {
        QString text = tr("%1/s").arg(m_rate, 0, 'f', m_rate < 10 ? 1 : 0);
        if (counters.timeouts > 0)
            text += tr(" · 超时 %1").arg(counters.timeouts);
        if (counters.badChecks > 0)
            text += tr(" · 校验 %1").arg(counters.badChecks);
        m_counts->setText(text);
        // It only grows during a run: the buttons beside it stay where they are
        // while the rate's digits come and go.
        m_counts->setMinimumWidth(std::max(m_counts->minimumWidth(), m_counts->sizeHint().width()));
        m_counts->setAccessibleName(tr("每秒 %1 个数值, %2 次超时, %3 次校验错误")
                                        .arg(m_rate, 0, 'f', 1)
                                        .arg(counters.timeouts)
                                        .arg(counters.badChecks));
    }
    m_counts->setVisible(reading);
    if (reading && !m_tick.isActive())
        m_tick.start();
    else if (!reading && !(m_view && m_view->isVisible()))
        m_tick.stop();
    if (m_view && m_view->isVisible())
        m_view->showCounts(counters, reading ? m_rate : 0.0);
}

} // namespace kvp
