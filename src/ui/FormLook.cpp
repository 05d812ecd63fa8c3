#include "FormLook.h"

#include "ui_frmMain.h"

#include "app/WindowText.h"

#include <QCoreApplication>

namespace kvp {
namespace {

QFont fontOf(const QString &family, qreal points)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

// The window's fonts come from another platform; map them to fonts that exist here
// and that carry the window's Chinese texts.
void substituteMissingFonts()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")});
        return true;
    }();
    (void)done;
}

} // namespace

QFont dressForm(Ui::frmMain &form)
{
    Ui::frmMain *ui = &form;
    substituteMissingFonts();
    const QFont sans = fontOf(QStringLiteral("MS Sans Serif"), 8.25);
    for (QWidget *w : {static_cast<QWidget *>(ui->Label1), static_cast<QWidget *>(ui->KVPAdr),
                       static_cast<QWidget *>(ui->Read), static_cast<QWidget *>(ui->Stop),
                       static_cast<QWidget *>(ui->Quit), static_cast<QWidget *>(ui->StatusText)})
        w->setFont(sans);
    ui->DataText->setFont(fontOf(QStringLiteral("宋体"), 26.25));
    // The label on its box's middle line, as tall as the box.
    ui->Label1->setGeometry(ui->Label1->x(), ui->KVPAdr->y(), ui->Label1->width(), ui->KVPAdr->height());
    ui->Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->Label1->setBuddy(ui->KVPAdr);
    ui->KVPAdr->setAccessibleName(QCoreApplication::translate("kvp", "KV-P 地址 (0 到 31)"));
    ui->Label1->setToolTip(windowWord(WindowWord::addressTip));
    ui->KVPAdr->setToolTip(windowWord(WindowWord::addressTip));
    ui->Read->setToolTip(windowWord(WindowWord::readTip));
    ui->Stop->setToolTip(windowWord(WindowWord::stopTip));
    ui->Quit->setToolTip(windowWord(WindowWord::quitTip));
    return sans;
}

} // namespace kvp
