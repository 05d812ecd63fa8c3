#include "PlaceBeside.h"

#include <QScreen>
#include <QWidget>

namespace kvp {

void placeBeside(QWidget &window, const QWidget &anchor)
{
    const QScreen *screen = anchor.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect form = anchor.frameGeometry();
    const QSize size = window.frameGeometry().size().expandedTo(window.sizeHint());
    const int gap = 8;
    if (form.right() + gap + size.width() <= room.right())
        window.move(form.right() + gap, form.top());
    else if (form.left() - gap - size.width() >= room.left())
        window.move(form.left() - gap - size.width(), form.top());
}

} // namespace kvp
