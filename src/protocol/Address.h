#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvp {

inline constexpr int kLowestAddress = 0;
inline constexpr int kHighestAddress = 31;

// The two-digit address field of every command, from whatever the address box holds.
std::string addressField(std::string_view addressText);

// The module address 0..31 the text stands for, or nothing when the text holds no
// number or one out of range. Only such an address is ever put on the line.
std::optional<int> validAddress(std::string_view addressText);

} // namespace kvp
