#pragma once

#include <string_view>

namespace kvp {

// The leading number of a text, read the forgiving way the address box has always
// been read: blanks, tabs and line feeds are skipped wherever they stand, "&H"/"&O"
// introduce hexadecimal/octal, and reading stops at the first character that cannot
// continue the number. `found` tells "0" apart from "no number at all".
struct NumericPrefix {
    double value = 0.0;
    bool found = false;
};

NumericPrefix parseNumericPrefix(std::string_view text);

} // namespace kvp
