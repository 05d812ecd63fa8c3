#pragma once

#include <QString>

namespace kvp {

// The C library's wording of an errno value, in the user's locale, for a message's detail.
QString systemErrorText(int error);

} // namespace kvp
