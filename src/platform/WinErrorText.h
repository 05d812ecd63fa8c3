#pragma once

#include <QString>

namespace kvp {

// Windows' own wording of a GetLastError() code, for a message's detail.
QString winErrorText(unsigned long error);

} // namespace kvp
