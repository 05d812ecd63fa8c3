#include "ReadoutDialog.h"

#include "HalfWidthValidator.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace kvp {
namespace {

QString numberText(const std::optional<DecimalNumber> &number)
{
    return number ? QString::fromStdString(number->text()) : QString();
}

} // namespace

ReadoutDialog::ReadoutDialog(int address, const ReadoutSettings &settings, std::optional<std::int32_t> sample,
                             QWidget *parent)
    : QDialog(parent), m_sample(sample)
{
    setObjectName(QStringLiteral("ReadoutDialog"));
    setWindowTitle(tr("地址 %1 的单位和限值").arg(address));
    const auto field = [this](const char *name, const QString &text, const QString &tip) {
        auto *edit = new QLineEdit(text, this);
        edit->setObjectName(QLatin1String(name));
        edit->setToolTip(tip);
        connect(edit, &QLineEdit::textChanged, this, &ReadoutDialog::check);
        return edit;
    };
    m_scale = field("ReadoutScale", numberText(settings.units.scale), tr("显示值 = 计数 × 比例 + 偏移; 小数点用 '.'"));
    m_offset = field("ReadoutOffset", numberText(settings.units.offset), tr("加到每个乘过比例的值上"));
    m_decimals = new QSpinBox(this);
    m_decimals->setObjectName(QStringLiteral("ReadoutDecimals"));
    m_decimals->setRange(0, EngineeringUnits::kMostDecimals);
    m_decimals->setValue(settings.units.decimals);
    connect(m_decimals, &QSpinBox::valueChanged, this, &ReadoutDialog::check);
    m_unit = field("ReadoutUnit", QString::fromStdString(settings.units.unit), tr("如 kg, N, °C; 显示在数值后面"));
    m_low = field("ReadoutLow", numberText(settings.limits.low), tr("空: 无下限"));
    m_high = field("ReadoutHigh", numberText(settings.limits.high), tr("空: 无上限"));
    m_deadband = field("ReadoutDeadband", numberText(settings.limits.deadband),
                       tr("超限的值回到限值以内这么多才算恢复; 0: 立即"));
    // Numbers typed through an input method ("－９０", "０．５") are numbers too.
    for (QLineEdit *number : {m_scale, m_offset, m_low, m_high, m_deadband})
        number->setValidator(new HalfWidthValidator(number));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("ReadoutNote"));
    m_note->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Reset, this);
    m_buttons->button(QDialogButtonBox::Reset)->setText(tr("恢复为计数"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons->button(QDialogButtonBox::Reset), &QPushButton::clicked, this, [this] {
        m_scale->setText(QStringLiteral("1"));
        m_offset->setText(QStringLiteral("0"));
        m_decimals->setValue(0);
        m_unit->clear();
        m_low->clear();
        m_high->clear();
        m_deadband->setText(QStringLiteral("0"));
    });

    auto *form = new QFormLayout(this);
    form->addRow(tr("比例:"), m_scale);
    form->addRow(tr("偏移:"), m_offset);
    form->addRow(tr("小数位:"), m_decimals);
    form->addRow(tr("单位:"), m_unit);
    form->addRow(tr("下限:"), m_low);
    form->addRow(tr("上限:"), m_high);
    form->addRow(tr("回差:"), m_deadband);
    form->addRow(m_note);
    form->addRow(m_buttons);
    check();
}

std::optional<ReadoutSettings> ReadoutDialog::settings() const
{
    if (!m_problem.isEmpty())
        return std::nullopt;
    ReadoutSettings s;
    s.units.scale = *DecimalNumber::parse(m_scale->text().trimmed().toStdString());
    s.units.offset = *DecimalNumber::parse(m_offset->text().trimmed().toStdString());
    s.units.decimals = m_decimals->value();
    s.units.unit = m_unit->text().trimmed().toStdString();
    if (!m_low->text().trimmed().isEmpty())
        s.limits.low = DecimalNumber::parse(m_low->text().trimmed().toStdString());
    if (!m_high->text().trimmed().isEmpty())
        s.limits.high = DecimalNumber::parse(m_high->text().trimmed().toStdString());
    s.limits.deadband = *DecimalNumber::parse(m_deadband->text().trimmed().toStdString());
    return s;
}

void ReadoutDialog::check()
{
    const auto reads = [](const QLineEdit *edit, bool mayBeEmpty) {
        const QString text = edit->text().trimmed();
        return (mayBeEmpty && text.isEmpty()) || DecimalNumber::parse(text.toStdString()).has_value();
    };
    const QString number = tr("须是数字, 如 0.001, -12.5 或 1e-3 (小数点用 '.', 最多 %1 位)").arg(DecimalNumber::kMostDigits);
    m_problem.clear();
    if (!reads(m_scale, false))
        m_problem = tr("比例") + number;
    else if (DecimalNumber::parse(m_scale->text().trimmed().toStdString())->mantissa == 0)
        m_problem = tr("比例不能为 0: 每个值都会显示为偏移");
    else if (!reads(m_offset, false))
        m_problem = tr("偏移") + number;
    else if (!reads(m_low, true))
        m_problem = tr("下限") + number;
    else if (!reads(m_high, true))
        m_problem = tr("上限") + number;
    else if (!reads(m_deadband, false))
        m_problem = tr("回差") + number;
    else if (DecimalNumber::parse(m_deadband->text().trimmed().toStdString())->mantissa < 0)
        m_problem = tr("回差不能为负");
    else if (!settings()->limits.valid())
        m_problem = tr("下限高于上限: 每个值都会超限");
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(m_problem.isEmpty());
    if (!m_problem.isEmpty()) {
        showNote(m_problem);
        return;
    }
    const ReadoutSettings s = *settings();
    const std::int32_t sample = m_sample.value_or(12345);
    showNote(tr("例: 计数 %1 显示为 %2").arg(sample).arg(QString::fromStdString(s.units.textWithUnit(sample))));
}

void ReadoutDialog::showNote(const QString &text)
{
    m_note->setText(text);
    fitNote();
}

void ReadoutDialog::fitNote()
{
    // A dialog does not grow for a label that wraps onto more lines: its note would
    // be squeezed into the height of fewer and cut at top and bottom. As high as the
    // text asks at the width it has, the note makes the dialog grow.
    const int width = m_note->width() > 0 ? m_note->width() : m_note->sizeHint().width();
    m_note->setMinimumHeight(m_note->heightForWidth(width));
}

void ReadoutDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitNote(); // narrower, more lines
}

} // namespace kvp
