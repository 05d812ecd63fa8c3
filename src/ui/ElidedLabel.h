#pragma once

#include <QLabel>

namespace kvp {

// A one-line label whose text, when longer than the label, ends in "…" instead of
// being cut off mid-word; text() stays whole, for the tooltip and a screen reader.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // Whether the text does not fit as it stands.
    bool elided() const;
    // What the eye sees.
    QString shownText() const;
    // Where the "…" goes: at the end, or in the middle of a name whose end tells it apart.
    void setElideMode(Qt::TextElideMode mode);
    // Words the label keeps whole however narrow its line (the state's, before its
    // advice); empty: it can give up all its width but an ellipsis.
    void setKeptText(const QString &kept);
    QString keptText() const { return m_kept; }
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;

    Qt::TextElideMode m_mode = Qt::ElideRight;
    QString m_kept;
};

} // namespace kvp
