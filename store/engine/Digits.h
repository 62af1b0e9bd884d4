#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace varnel {

// Numbers written as decimal digits, read one way wherever the program meets them: a numeric
// field's bytes (the codec and its matcher, the history's scan, the export) and the numbers
// an operator types.

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// What pads a field: blanks, or the NULs some writers leave instead.
inline bool IsPad(char c) {
    return c == ' ' || c == '\0';
}

// A field's bytes without the padding on either side.
inline std::string_view Unpadded(const char* field, int length) {
    std::string_view text(field, std::size_t(length));
    while (!text.empty() && IsPad(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsPad(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace detail {
template <typename Number> bool fromDigits(std::string_view text, Number& value) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}
} // namespace detail

// Digits as a binary number, the whole text and nothing around it: what std::from_chars reads,
// after a '+' that other writers put before a number and from_chars does not take. A whole
// number fails when it does not fit `Whole`.
template <typename Whole> bool ReadWhole(std::string_view text, Whole& value) {
    static_assert(std::is_integral_v<Whole>);
    return detail::fromDigits(text, value);
}
// The same as a double, which must be finite: "inf" and "nan" are words, not numbers.
bool ReadReal(std::string_view text, double& value);

// A number as its decimal digits say it, in the one form that two equal numbers share: no
// leading zeros before the point, no trailing zeros after it, no sign on zero. Widths past 18
// digits overflow every integer type and a double keeps only 15 to 17, so the digits themselves
// are what is written and compared. The views point into the text read or into a buffer of the
// caller's.
struct Decimal {
    bool negative = false;
    std::string_view whole;    // empty below 1
    std::string_view fraction; // empty for a whole number
};

// A sign, then digits with at most one point among them (".5" and "5." as other writers leave
// them), and nothing else: the form nearly every number of a file has, read in place. Inline,
// so that a scan over every record folds it into its loop.
inline bool ReadPlainDecimal(std::string_view text, Decimal& number) {
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+'))
        negative = *p++ == '-';
    const char* const digits = p;
    while (p != end && *p == '0') // leading zeros say nothing
        ++p;
    const char* const whole = p;
    while (p != end && IsDigit(*p))
        ++p;
    const char* const wholeEnd = p;
    const char* fraction = p;
    const char* fractionEnd = p;
    if (p != end && *p == '.') {
        fraction = ++p;
        while (p != end && IsDigit(*p))
            ++p;
        fractionEnd = p;
    }
    if (p != end || (wholeEnd == digits && fractionEnd == fraction))
        return false;
    while (fractionEnd != fraction && fractionEnd[-1] == '0')
        --fractionEnd;
    number.whole = std::string_view(whole, std::size_t(wholeEnd - whole));
    number.fraction = std::string_view(fraction, std::size_t(fractionEnd - fraction));
    number.negative = negative && (wholeEnd != whole || fractionEnd != fraction); // -0 is 0
    return true;
}

// A plain number, or one with an exponent written out in full digits into `storage`: 1.5e3
// is 1500, as digits carry no exponent.
bool ReadDecimal(std::string_view text, std::string& storage, Decimal& number);

// The number's digits in that one form, '.' before a fraction; inline too, for the export's
// loop over every number it writes.
inline void AppendDecimal(std::string& out, const Decimal& number) {
    if (number.negative)
        out += '-';
    if (number.whole.empty())
        out += '0';
    else
        out += number.whole;
    if (!number.fraction.empty()) {
        out += '.';
        out += number.fraction;
    }
}

} // namespace varnel
