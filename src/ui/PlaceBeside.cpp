#include "PlaceBeside.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace kvp {

void placeBeside(QWidget &window, const QWidget &anchor)
{
    const QScreen *screen = anchor.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect form = anchor.frameGeometry();
    QSize size = window.frameGeometry().size().expandedTo(window.sizeHint());
    const int gap = 8;
    const auto fits = [&](QPoint at) { return room.contains(QRect(at, size)); };
    // Right, left, below, above: wherever it leaves the form in view.
    for (int tries = 0; tries < 2; ++tries) {
        for (const QPoint at : {QPoint(form.right() + gap, form.top()), QPoint(form.left() - gap - size.width(), form.top()),
                                QPoint(form.left(), form.bottom() + gap), QPoint(form.left(), form.top() - gap - size.height())}) {
            if (fits(at)) {
                if (size != window.frameGeometry().size())
                    window.resize(size);
                window.move(at);
                return;
            }
        }
        // Narrower, down to what it still works at, beside the form.
        const int beside = std::max(room.right() - form.right(), form.left() - room.left()) - 2 * gap;
        if (beside < window.minimumSizeHint().width())
            break;
        size.setWidth(beside);
    }
    // No room anywhere: as far from the form as the screen allows.
    const bool right = room.right() - form.right() >= form.left() - room.left();
    window.move(right ? room.right() - size.width() : room.left(), form.top());
}

} // namespace kvp
