#include "base/Errors.h"
#include "store/engine/Convert.h"
#include "store/engine/Variant.h"
#include "tests/support/TestMain.h"

#include <QLocale>
#include <QTest>

using namespace varnel;

class TestVariant : public QObject {
    Q_OBJECT
private slots:
    void stringsReadAsNumbersInBothNotations() {
        QCOMPARE(Variant::parseNumber("1,5").toReal(), 1.5);
        QCOMPARE(Variant::parseNumber(" 1.5 ").toReal(), 1.5);
        QCOMPARE(Variant::parseNumber("-2").type(), Variant::Type::Integer);
        QCOMPARE(Variant::parseNumber("1e3").toReal(), 1000.0);
        const test::OtherLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(Variant::parseNumber("2.25").toReal(), 2.25);
        // The comma is no decimal separator in this locale, and group separators never count.
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant::parseNumber("2,25"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant::parseNumber("1,000"));
    }

    void textThatIsNoNumberIsAConversionError() {
        for (const char* text : {"", "abc", "1,2,3", "1.2.3", "nan", "inf", "1e", "--1", "1e400",
                                 "1 000", "12abc", "0x10"}) {
            QVERIFY_THROWS_EXCEPTION(EConvertError, Variant::parseNumber(QString::fromUtf8(text)));
        }
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant("abc") + Variant(1));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant(2) * Variant("x"));
    }

    void addConcatenatesStringsAndAddsNumbers() {
        QCOMPARE((Variant("Команда-победитель: ") + Variant("Зенит")).toString(),
                 QString("Команда-победитель: Зенит"));
        // A stake typed as text added to a stake sum.
        const Variant sum = Variant(500.0) + Variant("100,5");
        QCOMPARE(sum.type(), Variant::Type::Double);
        QCOMPARE(sum.toReal(), 600.5);
        QCOMPARE((Variant(500) + Variant("100")).type(), Variant::Type::Integer);
        QCOMPARE((Variant(500) + Variant("100")).toInteger(), 600);
        // Integer overflow widens instead of wrapping.
        const Variant big = Variant(std::int64_t(INT64_MAX)) + Variant(1);
        QCOMPARE(big.type(), Variant::Type::Double);
        QVERIFY(big.toReal() > 9e18);
    }

    void currencyIsExactNineTenths() {
        const Variant nineTenths = Variant::fromCurrencyUnits(9000);
        QCOMPARE(nineTenths.toString(), QString("0,9"));
        QCOMPARE((nineTenths * Variant(1050.0)).toReal(), 945.0);
        QCOMPARE((nineTenths * Variant(1000.0) / Variant(1100.0)).toReal(), 900.0 / 1100.0);
        // Currency with currency stays exact.
        const Variant c = Variant::fromCurrencyUnits(1) + Variant::fromCurrencyUnits(2);
        QCOMPARE(c.type(), Variant::Type::Currency);
        QCOMPARE(c.currencyUnits(), 3);
        QCOMPARE((nineTenths * Variant(3)).currencyUnits(), 27000);
        QCOMPARE((nineTenths * nineTenths).currencyUnits(), 8100);
        QCOMPARE(Variant::fromCurrencyUnits(-12345).toString(), QString("-1,2345"));
    }

    void divisionIsRealAndRefusesZero() {
        const Variant q = Variant(1) / Variant(4);
        QCOMPARE(q.type(), Variant::Type::Double);
        QCOMPARE(q.toReal(), 0.25);
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant(1) / Variant(0));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant(1) / Variant("0,0"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Variant(1e308) * Variant(10.0));
    }

    void compareAcrossTypes() {
        QVERIFY(Variant(12) == Variant("12"));
        QVERIFY(Variant(12) == Variant(" 12,0 "));
        QVERIFY(Variant(1.5).compare(Variant(2)) < 0);
        QVERIFY(Variant::fromCurrencyUnits(15000) == Variant(1.5));
        QVERIFY(Variant::fromCurrencyUnits(20000) == Variant(2));
        QVERIFY(Variant("b").compare(Variant("a")) > 0);
        QVERIFY(!(Variant("Зенит") == Variant("зенит")));
        QVERIFY(Variant("Ничья") == Variant("Ничья"));
        // Two strings compare as strings, never as numbers.
        QVERIFY(!(Variant("1.0") == Variant("1")));
        // Dates compare by day, and against text read as a date.
        const QDate today = QDate::currentDate();
        QVERIFY(Variant(today).compare(Variant(today.addDays(1))) < 0);
        QVERIFY(Variant(today) == Variant(DateToStr(today)));
        QVERIFY_THROWS_EXCEPTION(EConvertError, (void)(Variant(5) == Variant("пять")));
    }

    void nullIsUnequalToEverythingButNull() {
        const Variant null;
        for (const Variant& other :
             {Variant(0), Variant(0.0), Variant(""), Variant("0"), Variant(QDate::currentDate()),
              Variant::fromCurrencyUnits(0)}) {
            QVERIFY(null.compare(other) == std::partial_ordering::unordered);
            QVERIFY(other.compare(null) == std::partial_ordering::unordered);
            QVERIFY(!(null == other));
        }
        QVERIFY(null == Variant());
        QCOMPARE(null.toString(), QString());
        QVERIFY_THROWS_EXCEPTION(EConvertError, null + Variant(1));
        QVERIFY_THROWS_EXCEPTION(EConvertError, null.toReal());
    }

    void toStringFollowsTheLocale() {
        QCOMPARE(Variant(0.45).toString(), QString("0,45"));
        QCOMPARE(Variant(2.2).toString(), QString("2,2"));
        QCOMPARE(Variant(123456789.5).toString(), QString("123456789,5")); // no group separator
        QCOMPARE(Variant(900.0 / 1100.0).toString(), QString("0,818181818181818"));
        const test::OtherLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(Variant(0.45).toString(), QString("0.45"));
    }

    void datesInTheShortFormat() {
        const QDate today = QDate::currentDate();
        QCOMPARE(StrToDate(DateToStr(today)), today);
        QCOMPARE(StrToDate("08.12.2026"), QDate(2026, 12, 8));
        QCOMPARE(StrToDate("8.1.2027"), QDate(2027, 1, 8));
        // A two-digit year lies in the hundred years around today.
        const int year = today.year();
        const QString nextYear = QString::number((year + 1) % 100).rightJustified(2, '0');
        QCOMPARE(StrToDate("01.02." + nextYear), QDate(year + 1, 2, 1));
        const QString longAgo = QString::number((year - 50) % 100).rightJustified(2, '0');
        QCOMPARE(StrToDate("01.02." + longAgo).year(), year - 50);
        const QString ahead = QString::number((year + 49) % 100).rightJustified(2, '0');
        QCOMPARE(StrToDate("01.02." + ahead).year(), year + 49);
        for (const char* bad : {"", "  ", "31.02.2026", "2026", "1.2.3.4", "aa.bb.cccc",
                                "12.13.2026", "01.01.026", "1..2026", "01.01.2026г"}) {
            QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(QString::fromUtf8(bad)));
        }
        // Another short format: month first, two-digit year.
        const test::OtherLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(StrToDate("12/8/26"), QDate(2026, 12, 8));
        QCOMPARE(StrToDate(DateToStr(QDate(2031, 3, 4))), QDate(2031, 3, 4));
    }

    void strToIntTakesOnlyWholeNumbers() {
        QCOMPARE(StrToInt(" 42 "), 42);
        QCOMPARE(StrToInt("-32768"), -32768);
        QCOMPARE(StrToInt("+7"), 7);
        for (const char* bad : {"", "4.2", "4,2", "abc", "2147483648", "1e3", "٣"}) {
            QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt(QString::fromUtf8(bad)));
        }
    }
};

VARNEL_GUILESS_TEST_MAIN(TestVariant)
#include "test_variant.moc"
