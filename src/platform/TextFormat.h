#pragma once

#include <cstdint>
#include <string>

namespace kvp {

// A number as a whole number of at least two digits: 5 -> "05", 123 -> "123",
// -1 -> "-01", 3.6 -> "04". Halves round away from zero.
std::string formatTwoDigits(double number);

// Plain decimal digits, "-" in front of a negative value; no blank, plus or grouping.
std::string integerText(std::int32_t value);

} // namespace kvp
