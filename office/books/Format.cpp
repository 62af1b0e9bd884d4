#include "office/books/Format.h"

#include <QLocale>

#include <cmath>

namespace varnel::office {

namespace {
QString plainNumber(double value) {
    // Up to fifteen significant digits, no exponent, no trailing zeros, a decimal comma.
    QString text = QString::number(value, 'f', 11);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}
} // namespace

QString MoneyPlain(double amount) {
    const double rounded = std::round(amount * 100) / 100;
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', 2)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

QString NumberText(double value) {
    return plainNumber(value);
}

QString DateText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QString CsvText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        return plainNumber(value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::QDate:
        return DateText(value.toDate());
    default:
        return value.toString();
    }
}

} // namespace varnel::office
