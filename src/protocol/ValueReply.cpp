#include "ValueReply.h"

namespace kvp {

std::array<std::uint8_t, 6> encodeValueReply(std::int32_t value)
{
    const auto raw = static_cast<std::uint32_t>(value);
    const auto high = static_cast<std::uint8_t>(raw >> 16);
    const auto middle = static_cast<std::uint8_t>(raw >> 8);
    const auto low = static_cast<std::uint8_t>(raw);
    return {high, middle, low, static_cast<std::uint8_t>(high ^ middle ^ low), '\r', '\n'};
}

} // namespace kvp
