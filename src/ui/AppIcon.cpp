#include "AppIcon.h"

namespace kvp {

QIcon appIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/kvp-reader-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/kvp-reader-16.png"), QSize(16, 16));
    // For screens and themes that show icons in black and white only.
    icon.addFile(QStringLiteral(":/icons/kvp-reader-32-mono.png"), QSize(32, 32), QIcon::Disabled);
    return icon;
}

} // namespace kvp
