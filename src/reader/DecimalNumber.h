#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvp {

// A number as a person types it, kept exactly: mantissa × 10^-fraction. A scale of
// 0.001 stays 0.001, not the binary number nearest to it, so that a value half-way
// between two shown decimals is rounded as it would be on paper.
struct DecimalNumber {
    std::int64_t mantissa = 0;
    int fraction = 0; // digits after the point

    // Enough for any scale, offset or limit a technician writes, and small enough
    // that a 24-bit value times a scale plus an offset never leaves 128 bits.
    static constexpr int kMostDigits = 15;

    // Digits with an optional sign, point and exponent ("-0.25", "1e-3"), the point
    // always '.', whatever the locale. Nothing else: no blanks, no "nan" or "inf",
    // no more than kMostDigits significant digits, nor finer than 10^-kMostDigits.
    static std::optional<DecimalNumber> parse(std::string_view text);

    double toDouble() const;
    // The shortest form that reads back the same: "0.001", "-2.5", "50000".
    std::string text() const;

    friend bool operator==(const DecimalNumber &a, const DecimalNumber &b)
    {
        return a.mantissa == b.mantissa && a.fraction == b.fraction;
    }
};

} // namespace kvp
