#include "NumericPrefix.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kvp {
namespace {

// Walks the text while pretending the skippable blanks are not there.
class BlankSkippingCursor
{
public:
    explicit BlankSkippingCursor(std::string_view text) : m_text(text) {}

    char peek()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    void advance() { ++m_pos; }
    size_t position() const { return m_pos; }
    void rewind(size_t pos) { m_pos = pos; }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

    std::string_view m_text;
    size_t m_pos = 0;
};

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

NumericPrefix parseRadixInteger(BlankSkippingCursor &cur, int base)
{
    NumericPrefix result;
    for (int d; (d = digitValue(cur.peek(), base)) >= 0; cur.advance()) {
        result.value = result.value * base + d;
        result.found = true;
    }
    return result;
}

// Appends a run of decimal digits to `out`; returns how many there were.
int takeDigits(BlankSkippingCursor &cur, std::string &out)
{
    int n = 0;
    for (char c; (c = cur.peek()) >= '0' && c <= '9'; cur.advance(), ++n)
        out += c;
    return n;
}

NumericPrefix parseDecimal(BlankSkippingCursor &cur)
{
    std::string number;
    if (char sign = cur.peek(); sign == '+' || sign == '-') {
        if (sign == '-')
            number += '-';
        cur.advance();
    }
    int mantissaDigits = takeDigits(cur, number);
    if (cur.peek() == '.') {
        cur.advance();
        number += '.';
        mantissaDigits += takeDigits(cur, number);
    }
    if (mantissaDigits == 0)
        return {};

    // An exponent only counts when digits follow it; "1E" is just 1.
    bool negativeExponent = false;
    if (char e = cur.peek(); e == 'E' || e == 'e' || e == 'D' || e == 'd') {
        const size_t beforeExponent = cur.position();
        std::string exponent = "e";
        cur.advance();
        if (char sign = cur.peek(); sign == '+' || sign == '-') {
            negativeExponent = sign == '-';
            exponent += sign;
            cur.advance();
        }
        if (takeDigits(cur, exponent) > 0)
            number += exponent;
        else
            cur.rewind(beforeExponent);
    }

    // from_chars, unlike strtod, ignores the process locale, so "3.6" stays 3.6
    // on a machine whose decimal separator is a comma.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        const bool negative = number.front() == '-';
        value = negativeExponent ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    return {value, true};
}

} // namespace

NumericPrefix parseNumericPrefix(std::string_view text)
{
    BlankSkippingCursor cur(text);
    if (cur.peek() != '&')
        return parseDecimal(cur);

    cur.advance();
    switch (cur.peek()) {
    case 'H':
    case 'h':
        cur.advance();
        return parseRadixInteger(cur, 16);
    case 'O':
    case 'o':
        cur.advance();
        return parseRadixInteger(cur, 8);
    default:
        return {};
    }
}

} // namespace kvp
