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
    // The label can give up all its width but an ellipsis: others on its line keep theirs.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;
};

} // namespace kvp
