#pragma once

#include <QDate>
#include <QString>

#include <compare>
#include <cstdint>

namespace varnel {

// The refusal of a blank field read as a number.
QString BlankNumberMessage();

// The value of one field as the windows read and write it. Six kinds, as the dataset
// hands them out: Null (a blank field, or no record at all), a 64-bit integer, a double,
// a currency (a 64-bit integer counting ten-thousandths, so 0.9 is exactly nine tenths),
// a date (no time of day) and a string.
//
// Choices made where a reader might expect something else:
// - Text read as a number accepts the locale's decimal separator and also '.', an optional
//   sign and an optional exponent; blanks around it are ignored. Group separators, "nan",
//   "inf" and anything else are a conversion error, never a silent zero.
// - Arithmetic with a Null is a conversion error: a blank stake sum must not quietly turn
//   a sum of money into a blank.
// - Null compares equal to Null and unordered (neither less, equal nor greater) with every
//   number, string and date, so a scan looking for a number passes a blank one by.
class Variant {
public:
    enum class Type { Null, Integer, Double, Currency, Date, String };

    Variant() = default;
    Variant(int value) : m_type(Type::Integer), m_int(value) {}
    Variant(std::int64_t value) : m_type(Type::Integer), m_int(value) {}
    Variant(double value) : m_type(Type::Double), m_double(value) {}
    Variant(const QDate& value);
    Variant(const QString& value) : m_type(Type::String), m_string(value) {}
    Variant(const char* utf8) : Variant(QString::fromUtf8(utf8)) {}

    // A currency from its count of ten-thousandths (0.9 is fromCurrencyUnits(9000)).
    static Variant fromCurrencyUnits(std::int64_t units);

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }
    bool isNumeric() const;

    Variant operator+(const Variant& other) const;
    Variant operator*(const Variant& other) const;
    // Real division: the result is always a double.
    Variant operator/(const Variant& other) const;

    // less, equivalent or greater; unordered when exactly one side is Null.
    std::partial_ordering compare(const Variant& other) const;
    bool operator==(const Variant& other) const { return compare(other) == 0; }

    // The text an operator reads: numbers with the locale's decimal separator, dates in the
    // short date format, Null as the empty string.
    QString toString() const;
    double toReal() const;
    std::int64_t toInteger() const;
    QDate toDate() const;
    std::int64_t currencyUnits() const { return m_int; }

    // Text as a number (see above); an integer when it has no fraction and no exponent.
    static Variant parseNumber(const QString& text);

private:
    Variant numeric(const char* operation) const;

    Type m_type = Type::Null;
    std::int64_t m_int = 0; // Integer value, currency units, or days of a Date
    double m_double = 0.0;
    QString m_string;
};

} // namespace varnel
