#pragma once

#include "reader/Readouts.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace kvp {

// Asks for one module's units and limits: scale, offset, decimals, unit, low and
// high limit. OK takes only what reads as the console's options would; the line
// below the fields says what does not, and shows a count as it would be shown.
class ReadoutDialog : public QDialog
{
    Q_OBJECT

public:
    // `sample`: a count of the module to show as an example, when one came.
    ReadoutDialog(int address, const ReadoutSettings &settings, std::optional<std::int32_t> sample,
                  QWidget *parent = nullptr);

    // What is typed, when all of it reads.
    std::optional<ReadoutSettings> settings() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void check();
    void showNote(const QString &text);
    void fitNote();

    std::optional<std::int32_t> m_sample;
    QLineEdit *m_scale;
    QLineEdit *m_offset;
    QSpinBox *m_decimals;
    QLineEdit *m_unit;
    QLineEdit *m_low;
    QLineEdit *m_high;
    QLineEdit *m_deadband;
    QLabel *m_note;
    QDialogButtonBox *m_buttons;
    QString m_problem;
};

} // namespace kvp
