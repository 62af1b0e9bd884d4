#include "store/engine/Variant.h"

#include "base/Errors.h"
#include "store/engine/Convert.h"
#include "store/engine/Digits.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace varnel {

namespace {

// Day 0 of a date held as a number, as desktop runtimes count it: 30 December 1899.
constexpr std::int64_t kDayZero = 2415019;
constexpr std::int64_t kCurrencyScale = 10000;
__extension__ using Int128 = __int128;

[[noreturn]] void overflow() {
    throw EConvertError(QStringLiteral("Переполнение при вычислении: число слишком велико."));
}

double checkedReal(double value) {
    if (!std::isfinite(value))
        overflow();
    return value;
}

QString typeName(Variant::Type type) {
    switch (type) {
    case Variant::Type::Null:
        return QStringLiteral("пустое значение");
    case Variant::Type::Integer:
        return QStringLiteral("целое число");
    case Variant::Type::Double:
    case Variant::Type::Currency:
        return QStringLiteral("число");
    case Variant::Type::Date:
        return QStringLiteral("дата");
    case Variant::Type::String:
        return QStringLiteral("строка");
    }
    return {};
}

// The rank of a numeric result: the wider of the two operands wins.
int rank(Variant::Type type) {
    switch (type) {
    case Variant::Type::Integer:
        return 0;
    case Variant::Type::Currency:
        return 1;
    case Variant::Type::Date:
        return 2;
    default:
        return 3;
    }
}

} // namespace

Variant::Variant(const QDate& value) {
    if (value.isValid()) {
        m_type = Type::Date;
        m_int = value.toJulianDay() - kDayZero;
    }
}

Variant Variant::fromCurrencyUnits(std::int64_t units) {
    Variant v;
    v.m_type = Type::Currency;
    v.m_int = units;
    return v;
}

bool Variant::isNumeric() const {
    return m_type == Type::Integer || m_type == Type::Double || m_type == Type::Currency ||
           m_type == Type::Date;
}

Variant Variant::parseNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    const QChar localeSeparator = QLocale().decimalPoint().at(0);
    QByteArray ascii;
    ascii.reserve(trimmed.size());
    bool fraction = false, exponent = false, digits = false;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ascii += char(c.unicode());
            digits = true;
        } else if ((c == QLatin1Char('-') || c == QLatin1Char('+')) &&
                   (i == 0 || ascii.endsWith('e'))) {
            if (c == QLatin1Char('-'))
                ascii += '-';
        } else if ((c == localeSeparator || c == QLatin1Char('.')) && !fraction && !exponent) {
            ascii += '.';
            fraction = true;
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E')) && digits && !exponent) {
            ascii += 'e';
            exponent = true;
        } else {
            ascii.clear();
            break;
        }
    }
    if (ascii.isEmpty() || !digits || ascii.endsWith('e') || ascii.endsWith('-'))
        throw EConvertError(QStringLiteral("%1 — не число.").arg(Quoted(text)));

    const std::string_view number(ascii.constData(), std::size_t(ascii.size()));
    std::int64_t whole = 0;
    if (!fraction && !exponent && ReadWhole(number, whole))
        return Variant(whole);
    double real = 0.0;
    if (!ReadReal(number, real))
        throw EConvertError(
            QStringLiteral("%1 — не число или число слишком велико.").arg(Quoted(text)));
    return Variant(real);
}

// This value as a number for arithmetic and comparison: strings are read as numbers.
Variant Variant::numeric(const char* operation) const {
    if (isNumeric())
        return *this;
    if (m_type == Type::String)
        return parseNumber(m_string);
    throw EConvertError(
        QStringLiteral("Нельзя %1: одно из значений пустое.").arg(QString::fromUtf8(operation)));
}

Variant Variant::operator+(const Variant& other) const {
    if (m_type == Type::String && other.m_type == Type::String)
        return Variant(m_string + other.m_string);
    const Variant a = numeric("сложить значения");
    const Variant b = other.numeric("сложить значения");
    const int r = std::max(rank(a.m_type), rank(b.m_type));
    if (r == 0 || r == 1) {
        const std::int64_t x =
            a.m_type == Type::Integer && r == 1 ? a.m_int * kCurrencyScale : a.m_int;
        const std::int64_t y =
            b.m_type == Type::Integer && r == 1 ? b.m_int * kCurrencyScale : b.m_int;
        std::int64_t sum = 0;
        if (!__builtin_add_overflow(x, y, &sum))
            return r == 0 ? Variant(sum) : fromCurrencyUnits(sum);
        if (r == 1)
            overflow();
        return Variant(checkedReal(double(x) + double(y)));
    }
    const double sum = checkedReal(a.toReal() + b.toReal());
    if (r == 2) {
        // A date moved by a number of days stays a date.
        Variant v;
        v.m_type = Type::Date;
        v.m_int = std::int64_t(std::floor(sum));
        return v;
    }
    return Variant(sum);
}

Variant Variant::operator*(const Variant& other) const {
    const Variant a = numeric("умножить значения");
    const Variant b = other.numeric("умножить значения");
    if (a.m_type == Type::Integer && b.m_type == Type::Integer) {
        std::int64_t product = 0;
        if (!__builtin_mul_overflow(a.m_int, b.m_int, &product))
            return Variant(product);
        return Variant(checkedReal(double(a.m_int) * double(b.m_int)));
    }
    const bool aCurrency = a.m_type == Type::Currency;
    const bool bCurrency = b.m_type == Type::Currency;
    if ((aCurrency || a.m_type == Type::Integer) && (bCurrency || b.m_type == Type::Integer)) {
        const Int128 x = a.m_int, y = b.m_int;
        Int128 units = x * y;
        if (aCurrency && bCurrency)
            units /= kCurrencyScale;
        if (units > std::numeric_limits<std::int64_t>::max() ||
            units < std::numeric_limits<std::int64_t>::min())
            overflow();
        return fromCurrencyUnits(std::int64_t(units));
    }
    if (aCurrency != bCurrency) {
        // Currency times a double: multiply by the exact count of ten-thousandths and scale
        // afterwards, so that 0.9 enters as exactly nine tenths.
        const Variant& money = aCurrency ? a : b;
        const Variant& real = aCurrency ? b : a;
        return Variant(checkedReal(double(money.m_int) * real.toReal() / double(kCurrencyScale)));
    }
    return Variant(checkedReal(a.toReal() * b.toReal()));
}

Variant Variant::operator/(const Variant& other) const {
    const Variant a = numeric("разделить значения");
    const Variant b = other.numeric("разделить значения");
    const double divisor = b.toReal();
    if (divisor == 0.0)
        throw EConvertError(QStringLiteral("Деление на ноль."));
    if (a.m_type == Type::Currency && b.m_type == Type::Currency)
        return Variant(checkedReal(double(a.m_int) / double(b.m_int)));
    return Variant(checkedReal(a.toReal() / divisor));
}

std::partial_ordering Variant::compare(const Variant& other) const {
    if (m_type == Type::Null || other.m_type == Type::Null) {
        return m_type == other.m_type ? std::partial_ordering::equivalent
                                      : std::partial_ordering::unordered;
    }
    if (m_type == Type::String && other.m_type == Type::String) {
        if (m_string == other.m_string)
            return std::partial_ordering::equivalent;
        int order = QString::localeAwareCompare(m_string, other.m_string);
        if (order == 0)
            order = QString::compare(m_string, other.m_string);
        return order < 0 ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    // A date against text reads the text as a date, not as a number of days.
    if (m_type == Type::Date && other.m_type == Type::String)
        return compare(Variant(other.toDate()));
    if (m_type == Type::String && other.m_type == Type::Date)
        return Variant(toDate()).compare(other);
    const Variant a = numeric("сравнить значения");
    const Variant b = other.numeric("сравнить значения");
    if (a.m_type == b.m_type && a.m_type != Type::Double)
        return a.m_int <=> b.m_int;
    if (a.m_type == Type::Integer && b.m_type == Type::Currency)
        return static_cast<Int128>(a.m_int) * kCurrencyScale <=> static_cast<Int128>(b.m_int);
    if (a.m_type == Type::Currency && b.m_type == Type::Integer)
        return static_cast<Int128>(a.m_int) <=> static_cast<Int128>(b.m_int) * kCurrencyScale;
    return static_cast<long double>(a.toReal()) <=> static_cast<long double>(b.toReal());
}

QString Variant::toString() const {
    switch (m_type) {
    case Type::Null:
        return {};
    case Type::Integer:
        return QString::number(m_int);
    case Type::Double:
        return FloatToStr(m_double);
    case Type::Currency: {
        const bool negative = m_int < 0;
        const unsigned long long units =
            negative ? 0ULL - static_cast<unsigned long long>(m_int) : m_int;
        QString text = QString::number(units / kCurrencyScale);
        unsigned long long fraction = units % kCurrencyScale;
        if (fraction != 0) {
            QString digits = QString::number(fraction).rightJustified(4, QLatin1Char('0'));
            while (digits.endsWith(QLatin1Char('0')))
                digits.chop(1);
            text += QLocale().decimalPoint() + digits;
        }
        return negative ? QLatin1Char('-') + text : text;
    }
    case Type::Date:
        return DateToStr(toDate());
    case Type::String:
        return m_string;
    }
    return {};
}

double Variant::toReal() const {
    switch (m_type) {
    case Type::Integer:
    case Type::Date:
        return double(m_int);
    case Type::Double:
        return m_double;
    case Type::Currency:
        return double(m_int) / double(kCurrencyScale);
    case Type::String:
        return parseNumber(m_string).toReal();
    case Type::Null:
        break;
    }
    throw EConvertError(BlankNumberMessage());
}

QString BlankNumberMessage() {
    return QStringLiteral("Пустое значение нельзя прочитать как число.");
}

std::int64_t Variant::toInteger() const {
    switch (m_type) {
    case Type::Integer:
    case Type::Date:
        return m_int;
    case Type::String:
        return parseNumber(m_string).toInteger();
    case Type::Double:
    case Type::Currency: {
        const double real = toReal();
        if (real != std::trunc(real) || real < -9.2e18 || real > 9.2e18)
            throw EConvertError(QStringLiteral("%1 — не целое число.").arg(toString()));
        return std::int64_t(real);
    }
    case Type::Null:
        break;
    }
    throw EConvertError(QStringLiteral("Пустое значение нельзя прочитать как целое число."));
}

QDate Variant::toDate() const {
    switch (m_type) {
    case Type::Date:
        return QDate::fromJulianDay(m_int + kDayZero);
    case Type::String:
        return StrToDate(m_string);
    case Type::Integer:
    case Type::Double:
    case Type::Currency:
        return QDate::fromJulianDay(std::int64_t(std::floor(toReal())) + kDayZero);
    case Type::Null:
        break;
    }
    throw EConvertError(
        QStringLiteral("Значение (%1) нельзя прочитать как дату.").arg(typeName(m_type)));
}

} // namespace varnel
