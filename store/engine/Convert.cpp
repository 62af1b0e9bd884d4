#include "store/engine/Convert.h"

#include "base/Errors.h"
#include "store/engine/Digits.h"

#include <QLocale>
#include <QStringList>

#include <charconv>
#include <cmath>

namespace varnel {

namespace {
qint64 g_dateShift = 0;
} // namespace

QDate Date() {
    return QDate::currentDate().addDays(g_dateShift);
}

void ShiftDateForTests(qint64 days) {
    g_dateShift = days;
}

QString DateToStr(const QDate& date) {
    if (!date.isValid())
        return {};
    return QLocale().toString(date, QLocale::ShortFormat);
}

namespace {

struct DateOrder {
    int day = 0, month = 1, year = 2; // positions of the parts in the text
};

// The order in which the short date format names day, month and year, e.g. d-M-y for
// "dd.MM.yyyy" and M-d-y for "M/d/yy".
DateOrder shortDateOrder() {
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const auto dayAt = format.indexOf(QLatin1Char('d'));
    const auto monthAt = format.indexOf(QLatin1Char('M'));
    const auto yearAt = format.indexOf(QLatin1Char('y'));
    if (dayAt < 0 || monthAt < 0 || yearAt < 0)
        return {};
    DateOrder order;
    order.day = int(dayAt > monthAt) + int(dayAt > yearAt);
    order.month = int(monthAt > dayAt) + int(monthAt > yearAt);
    order.year = int(yearAt > dayAt) + int(yearAt > monthAt);
    return order;
}

[[noreturn]] void badDate(const QString& text) {
    throw EConvertError(QStringLiteral("%1 — неправильная дата. Введите дату в виде %2.")
                            .arg(Quoted(text), DateToStr(Date())));
}

} // namespace

QDate StrToDate(const QString& text) {
    const QString trimmed = text.trimmed();
    QStringList parts;
    QString current;
    for (const QChar c : trimmed) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            current += c;
        } else if (c.isLetter()) {
            badDate(text);
        } else {
            if (current.isEmpty())
                badDate(text); // two separators in a row, or one at the start
            parts << current;
            current.clear();
        }
    }
    if (current.isEmpty())
        badDate(text); // empty text or a separator at the end
    parts << current;
    if (parts.size() != 2 && parts.size() != 3)
        badDate(text);
    for (const QString& part : parts)
        if (part.size() > 4)
            badDate(text);

    const DateOrder order = shortDateOrder();
    const QDate today = Date();
    int year = today.year();
    int day = 0, month = 0;
    if (parts.size() == 3) {
        day = parts[order.day].toInt();
        month = parts[order.month].toInt();
        const QString yearText = parts[order.year];
        year = yearText.toInt();
        if (yearText.size() <= 2) {
            // The hundred years around today: from 50 years back to 49 years ahead.
            const int lowest = today.year() - 50;
            year += (lowest / 100) * 100;
            if (year < lowest)
                year += 100;
        } else if (yearText.size() == 3) {
            badDate(text);
        }
    } else {
        // Day and month without a year, in the order the format gives them.
        const bool dayFirst = order.day < order.month;
        day = parts[dayFirst ? 0 : 1].toInt();
        month = parts[dayFirst ? 1 : 0].toInt();
    }
    const QDate result(year, month, day);
    if (!result.isValid() || year < 1)
        badDate(text);
    return result;
}

int StrToInt(const QString& text) {
    const QByteArray ascii = text.trimmed().toLatin1();
    int value = 0;
    if (!ReadWhole(std::string_view(ascii.constData(), std::size_t(ascii.size())), value) ||
        text.trimmed() != QString::fromLatin1(ascii))
        throw EConvertError(QStringLiteral("%1 — не целое число.").arg(Quoted(text)));
    return value;
}

QString FloatToStr(double value) {
    // Fifteen significant digits of the exact binary value, a tie to the even digit, as the
    // books round every number they write (and the server's text of a double does): rounded
    // here first, since the locale's own formatting takes a tie away from zero.
    if (std::isfinite(value) && value != 0) {
        char digits[32];
        const auto written =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, 14);
        std::from_chars(digits, written.ptr, value);
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

} // namespace varnel
