#include "DecimalNumber.h"

#include <cstdlib>

namespace kvp {
namespace {

constexpr std::int64_t kPowersOfTen[] = {1,
                                         10,
                                         100,
                                         1'000,
                                         10'000,
                                         100'000,
                                         1'000'000,
                                         10'000'000,
                                         100'000'000,
                                         1'000'000'000,
                                         10'000'000'000,
                                         100'000'000'000,
                                         1'000'000'000'000,
                                         10'000'000'000'000,
                                         100'000'000'000'000,
                                         1'000'000'000'000'000};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<DecimalNumber> DecimalNumber::parse(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string digits; // significant digits, leading zeros dropped
    int fraction = 0;
    bool anyDigit = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (!isDigit(c))
            break;
        anyDigit = true;
        if (point)
            ++fraction;
        if (!digits.empty() || c != '0')
            digits += c;
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            expNegative = text[i++] == '-';
        if (i == text.size())
            return std::nullopt;
        int exponent = 0;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            exponent = exponent * 10 + (text[i] - '0');
            if (exponent > 100)
                return std::nullopt;
        }
        fraction += expNegative ? exponent : -exponent;
    }
    if (i != text.size())
        return std::nullopt;
    // Trailing zeros after the point say nothing of the value.
    while (fraction > 0 && !digits.empty() && digits.back() == '0') {
        digits.pop_back();
        --fraction;
    }
    if (digits.empty())
        return DecimalNumber{};
    while (fraction < 0) { // 5e3: the zeros are digits of the number
        digits += '0';
        ++fraction;
    }
    if (digits.size() > std::size_t(kMostDigits) || fraction > kMostDigits)
        return std::nullopt;
    const std::int64_t magnitude = std::strtoll(digits.c_str(), nullptr, 10);
    return DecimalNumber{negative ? -magnitude : magnitude, fraction};
}

double DecimalNumber::toDouble() const
{
    // Both exact in a double, so the quotient is the double nearest to the number.
    return double(mantissa) / double(kPowersOfTen[fraction]);
}

std::string DecimalNumber::text() const
{
    const std::int64_t magnitude = mantissa < 0 ? -mantissa : mantissa;
    std::string digits = std::to_string(magnitude);
    if (fraction > 0) {
        if (digits.size() <= std::size_t(fraction))
            digits.insert(0, std::size_t(fraction) + 1 - digits.size(), '0');
        digits.insert(digits.size() - std::size_t(fraction), 1, '.');
    }
    return (mantissa < 0 ? "-" : "") + digits;
}

} // namespace kvp
