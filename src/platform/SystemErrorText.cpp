#include "SystemErrorText.h"

#include <cstring>

namespace kvp {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace kvp
