#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kvp {

// A value reply: three value bytes, most significant first, their XOR, and at least
// two more bytes. The evaluation here reads none of those; the reader's framing
// (reader/ReplyFraming) learns them and requires the ones that never change.
inline constexpr int kReplyLength = 6;

enum class Outcome {
    none,     // negative count: nothing to act on
    short_,   // fewer than kReplyLength bytes
    badCheck, // check byte does not match
    value,
};

struct Evaluation {
    Outcome outcome = Outcome::none;
    std::int32_t value = 0; // meaningful for Outcome::value only
};

// Reads at most bytes 0..3 of bytInput and never past its end.
Evaluation EvaluateReply(std::span<const std::uint8_t> bytInput, std::int16_t intInputLenth);
// A block gathered whole, its size as the count (capped where the count cannot go).
Evaluation EvaluateBlock(std::span<const std::uint8_t> block);

// The 24 value bits as a two's complement number: 0xFFFFFF is -1, 0x800000 is -8388608.
std::int32_t decodeValue(std::uint8_t high, std::uint8_t middle, std::uint8_t low);

std::string ValueText(std::int32_t value);

} // namespace kvp
