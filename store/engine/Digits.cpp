#include "store/engine/Digits.h"

#include <cmath>

namespace varnel {

bool ReadReal(std::string_view text, double& value) {
    return detail::fromDigits(text, value) && std::isfinite(value);
}

bool ReadDecimal(std::string_view text, std::string& storage, Decimal& number) {
    if (ReadPlainDecimal(text, number))
        return true;
    const std::size_t e = text.find_first_of("eE");
    if (e == std::string_view::npos)
        return false;
    Decimal mantissa;
    if (!ReadPlainDecimal(text.substr(0, e), mantissa))
        return false;
    long exponent = 0;
    if (!ReadWhole(text.substr(e + 1), exponent))
        return false;
    if (mantissa.whole.empty() && mantissa.fraction.empty()) {
        number = mantissa;
        return true;
    }
    // Anything a double can hold lies well inside this; the bound only keeps the arithmetic
    // and the buffer sane for nonsense.
    if (exponent > 100000 || exponent < -100000)
        return false;
    std::string digits(mantissa.whole);
    digits += mantissa.fraction;
    const long point = long(mantissa.whole.size()) + exponent;
    storage.clear();
    if (mantissa.negative)
        storage += '-';
    if (point <= 0) {
        storage += "0.";
        storage.append(std::size_t(-point), '0');
        storage += digits;
    } else if (point >= long(digits.size())) {
        storage += digits;
        storage.append(std::size_t(point - long(digits.size())), '0');
    } else {
        storage.append(digits, 0, std::size_t(point));
        storage += '.';
        storage.append(digits, std::size_t(point));
    }
    return ReadPlainDecimal(storage, number);
}

} // namespace varnel
