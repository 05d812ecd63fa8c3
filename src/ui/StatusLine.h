#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace kvp {

class ElidedLabel;

// The message area of the status line: the state, which is what is true now, and
// after it a notice (a recording saved, a setting not kept), which gives way: it
// comes second, so the state reads first however narrow the line, and it goes
// when the state changes, after a while, or at a click. A line longer than its room ends in "…"; the whole
// of it is the label's tooltip and accessible description.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kNoticeLifetime{12'000};

    explicit StatusLine(ElidedLabel *label, QObject *parent = nullptr);

    void setState(const QString &state);
    QString state() const { return m_state; }
    // `detail` joins the tooltip (a whole path the notice shortens).
    void notify(const QString &notice, const QString &detail = {});
    QString notice() const { return m_notice; }
    void dismiss();
    void setNoticeLifetime(std::chrono::milliseconds lifetime) { m_expiry.setInterval(lifetime); }
    // The whole line and the notice's detail: what the tooltip says of the line.
    QString fullText() const;
    ElidedLabel *label() const { return m_label; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void write();

    ElidedLabel *m_label;
    QString m_state;
    QString m_notice;
    QString m_detail;
    QTimer m_expiry;
};

} // namespace kvp
