#include "RecordingControl.h"

#include "WindowNotices.h"

#include "app/LastFolder.h"
#include "app/ReadSession.h"
#include "app/ReadingColumns.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QWidget>

namespace kvp {

RecordingControl::RecordingControl(QWidget &window, ReadSession &session, WindowNotices &notices, QAction *action,
                                   QLabel *label)
    : QObject(&window), m_window(window), m_session(session), m_notices(notices), m_action(action), m_label(label)
{
    m_labelTimer.setInterval(250);
    connect(&m_labelTimer, &QTimer::timeout, this, &RecordingControl::showState);
    showState();
}

void RecordingControl::toggle()
{
    if (m_recording.active())
        stop();
    else
        start();
}

bool RecordingControl::start(const QString &path)
{
    QString file = path;
    if (file.isEmpty()) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        file = QFileDialog::getSaveFileName(&m_window, tr("记录到 CSV 文件"),
                                            QDir(LastFolder::get()).filePath(QStringLiteral("kvp-values-%1.csv").arg(stamp)),
                                            tr("CSV 文件 (*.csv)"), nullptr, QFileDialog::DontConfirmOverwrite);
        if (file.isEmpty())
            return false;
    }
    if (!m_recording.start(file)) {
        m_notices.fileTrouble(Condition::logFile, file, m_recording.errorString(), m_recording.error());
        showState();
        return false;
    }
    LastFolder::noteFile(file);
    m_labelTimer.start();
    showState();
    return true;
}

void RecordingControl::stop()
{
    const qint64 rows = m_recording.rows();
    const QString path = m_recording.path();
    const bool was = m_recording.active();
    m_recording.stop();
    m_labelTimer.stop();
    showState();
    if (was) // where the rows went: a notice, which gives way to the state and expires
        m_notices.note(tr("已记录 %n 行到 %1", nullptr, int(rows)).arg(QFileInfo(path).fileName()), path);
}

void RecordingControl::add(int address, const QString &text)
{
    if (!m_recording.active())
        return;
    // The count the module sent, and the columns of the value as shown.
    const auto reading = m_session.lastReading(address);
    const bool written = reading ? m_recording.add(address, QString::number(reading->raw),
                                                   readingColumns(*reading, m_session.readouts().of(address)))
                                 : m_recording.add(address, text);
    if (!written)
        failed();
}

void RecordingControl::failed()
{
    m_labelTimer.stop();
    showState();
    m_label->setText(tr("记录已停止: %1").arg(m_recording.errorString()));
    m_label->show();
    emit labelChanged();
    m_notices.fileTrouble(Condition::recordingFailed, m_recording.path(), m_recording.errorString(),
                          m_recording.error()); // reading goes on meanwhile
}

void RecordingControl::showState()
{
    const bool on = m_recording.active();
    m_action->setText(on ? tr("停止记录") : tr("开始记录…"));
    if (on) {
        m_label->setText(tr("● %1: %2 行").arg(QFileInfo(m_recording.path()).fileName()).arg(m_recording.rows()));
        m_label->setToolTip(m_recording.path());
        m_label->show();
    } else if (m_recording.errorString().isEmpty()) {
        m_label->hide();
    }
    emit labelChanged();
}

} // namespace kvp
