#include "ReplyEvaluation.h"

#include <algorithm>
#include <limits>

#include "platform/TextFormat.h"

namespace kvp {

std::int32_t decodeValue(std::uint8_t high, std::uint8_t middle, std::uint8_t low)
{
    const std::int32_t raw = (high << 16) | (middle << 8) | low;
    return (raw & 0x800000) ? raw - 0x1000000 : raw;
}

Evaluation EvaluateReply(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth)
{
    if (intInputLenth < 0)
        return {Outcome::none};
    // A count that claims more than the block holds cannot be trusted to decode.
    if (intInputLenth < kReplyLength || bytInput.size() < 4)
        return {Outcome::short_};
    if ((bytInput[0] ^ bytInput[1] ^ bytInput[2]) != bytInput[3])
        return {Outcome::badCheck};
    return {Outcome::value, decodeValue(bytInput[0], bytInput[1], bytInput[2])};
}

std::string ValueText(std::int32_t value)
{
    return integerText(value);
}

Evaluation EvaluateBlock(std::span<const std::uint8_t> block)
{
    const auto count = std::min<std::size_t>(block.size(), std::numeric_limits<std::int16_t>::max());
    return EvaluateReply(block, static_cast<std::int16_t>(count));
}

} // namespace kvp
