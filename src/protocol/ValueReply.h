#pragma once

#include <array>
#include <cstdint>

namespace kvp {

// The module's side of a value reply: 24-bit two's complement value, most significant
// byte first, the XOR of the three as check byte, then carriage return and line feed.
// Values outside 24 bits keep their low 24 bits.
std::array<std::uint8_t, 6> encodeValueReply(std::int32_t value);

} // namespace kvp
