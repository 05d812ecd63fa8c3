#pragma once

#include <QList>
#include <QStringView>

#include <optional>

namespace kvp {

// The module addresses an --address argument names, or nothing when it is not one.
// On the command line an address is written out in full: a whole number 0 to 31 in
// decimal digits, nothing before or after it. What the window's address box takes
// ("&H1F", "3.6") is for typing by hand and is not accepted here, so that a typo in a
// script is an error rather than another module.
//
// Several modules on one bus are a list, "3,7,12", with ranges, "0-4,9"; in the
// order given, each once.
std::optional<QList<int>> addressArgument(QStringView text);

} // namespace kvp
