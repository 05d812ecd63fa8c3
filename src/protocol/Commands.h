#pragma once

#include <string>
#include <string_view>

namespace kvp {

// Both commands are plain ASCII, one byte per character, ending in ";" with nothing after.
std::string BuildParameterCommand(std::string_view addressText);
std::string BuildValueQuery(std::string_view addressText);

} // namespace kvp
