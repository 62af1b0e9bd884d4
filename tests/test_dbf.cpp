#include "base/Errors.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <sys/stat.h>

using namespace varnel;
using namespace varnel::test;

namespace {

QList<DbfColumn> allTypes() {
    QList<DbfColumn> columns;
    const auto add = [&](const char* name, char type, int length, int decimals = 0) {
        DbfColumn c;
        c.name = QString::fromLatin1(name);
        c.type = type;
        c.length = length;
        c.decimals = decimals;
        columns << c;
    };
    add("NAME", 'C', 20);
    add("SMALL", 'N', 6);
    add("MONEY", 'N', 19, 4);
    add("KOEF", 'F', 19, 11);
    add("DAY", 'D', 8);
    add("FLAG", 'L', 1);
    return columns;
}

QByteArray recordOf(DbfFile& file, const QList<Variant>& values) {
    QByteArray record = file.blankRecord();
    for (int i = 0; i < values.size(); ++i)
        file.encode(record.data(), i, values[i]);
    return record;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestDbf : public QObject {
    Q_OBJECT
private slots:
    void everyTypeRoundTrips() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        const QDate day(2027, 2, 28);
        {
            DbfFile file(path);
            file.open();
            file.append(
                recordOf(file, {Variant("Спартак Москва"), Variant(-32768), Variant(1234567.8912),
                                Variant(0.736363636363636), Variant(day), Variant(1)}));
            file.append(
                recordOf(file, {Variant(), Variant(), Variant(), Variant(), Variant(), Variant()}));
            file.append(recordOf(file, {Variant("  ёЁ№ «»"), Variant("32767"), Variant("-0,00001"),
                                        Variant(1e-12), Variant("01.01.2000"), Variant(0)}));
        }
        DbfFile file(path);
        file.open();
        QCOMPARE(file.recordCount(), 3u);
        const char* r = file.record(0);
        QCOMPARE(file.decode(r, 0).toString(), QString("Спартак Москва"));
        QCOMPARE(file.decode(r, 1).type(), Variant::Type::Integer);
        QCOMPARE(file.decode(r, 1).toInteger(), -32768);
        QCOMPARE(file.decode(r, 2).toReal(), 1234567.8912);
        QCOMPARE(file.decode(r, 3).toReal(), 0.73636363636);
        QCOMPARE(file.decode(r, 4).toDate(), day);
        QCOMPARE(file.decode(r, 5).toInteger(), 1);
        r = file.record(1);
        for (int i = 0; i < 6; ++i)
            QVERIFY2(file.decode(r, i).isNull(), qPrintable(file.columns()[i].name));
        r = file.record(2);
        QCOMPARE(file.decode(r, 0).toString(), QString("  ёЁ№ «»")); // leading blanks kept
        QCOMPARE(file.decode(r, 1).toInteger(), 32767);
        QCOMPARE(file.decode(r, 2).toReal(), 0.0); // rounds to the field's decimals, no "-0"
        QCOMPARE(QByteArray(r + file.columns()[2].offset, 19).trimmed(), QByteArray("0.0000"));
        QCOMPARE(file.decode(r, 3).toReal(), 0.0);
        QCOMPARE(file.decode(r, 4).toDate(), QDate(2000, 1, 1));
        QCOMPARE(file.decode(r, 5).toInteger(), 0);
    }

    void numbersAreWrittenWithoutTheLocale() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        DbfFile file(path);
        file.open();
        const QByteArray record = recordOf(
            file, {Variant("x"), Variant(5), Variant(1.5), Variant(2.25), Variant(), Variant()});
        QCOMPARE(record.mid(file.columns()[2].offset, 19), QByteArray("             1.5000"));
        QCOMPARE(record.mid(file.columns()[1].offset, 6), QByteArray("     5"));
    }

    void aValueThatDoesNotFitIsRefusedNamingTheField() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        DbfFile file(path);
        file.open();
        QByteArray record = file.blankRecord();
        const QByteArray before = record;
        const auto refused = [&](int column, const Variant& value, const char* mentions) {
            try {
                file.encode(record.data(), column, value);
                QFAIL(qPrintable(QStringLiteral("accepted %1").arg(value.toString())));
            } catch (const EConvertError& error) {
                QVERIFY2(error.message().contains(file.columns()[column].name),
                         qPrintable(error.message()));
                QVERIFY2(error.message().contains(QString::fromUtf8(mentions)),
                         qPrintable(error.message()));
            }
            QCOMPARE(record, before); // never cut, never half-written
        };
        refused(0, Variant(QString(21, QChar(u'я'))), "не помещается");
        refused(0, Variant("Привет 😀"), "😀");
        refused(0, Variant("Café"), "é");
        refused(0, Variant("中"), "中");
        refused(0, Variant("a\tb"), "управляющих");
        refused(0, Variant(QString(QChar(0x1A))), "управляющих");
        refused(1, Variant(1234567), "не помещается");
        refused(1, Variant(-100000), "не помещается");
        refused(2, Variant(1e16), "не помещается");
        refused(2, Variant(1e300), "не помещается");
        // Exactly the width still fits.
        file.encode(record.data(), 0, Variant(QString(20, QChar(u'я'))));
        file.encode(record.data(), 1, Variant(-99999));
    }

    // A column of another writer keeps its own width and decimals: more decimals are rounded to
    // the column's, an integer part too wide for it is refused.
    void aForeignLayoutRoundsToItsDecimalsAndRefusesWhatIsTooWide() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        const auto column = [](const char* name, int length, int decimals) {
            DbfColumn c;
            c.name = name;
            c.type = 'N';
            c.length = length;
            c.decimals = decimals;
            return c;
        };
        DbfFile::create(path,
                        {column("KOEF", 8, 3), column("NUMBER", 4, 0), column("WIDE", 24, 15)});
        DbfFile file(path);
        file.open();
        QByteArray record = file.blankRecord();
        const auto written = [&](int c, const Variant& value) {
            file.encode(record.data(), c, value);
            return record.mid(file.columns()[c].offset, file.columns()[c].length);
        };
        QCOMPARE(written(0, Variant(0.9 * 1000 / 1100)), QByteArray("   0.818"));
        QCOMPARE(written(0, Variant(2.0 / 3)), QByteArray("   0.667"));
        QCOMPARE(file.decode(record.constData(), 0).toReal(), 0.667);
        QCOMPARE(written(1, Variant(9999)), QByteArray("9999"));
        QCOMPARE(written(2, Variant(1.5)), QByteArray("       1.500000000000000"));
        QCOMPARE(file.decode(record.constData(), 2).toReal(), 1.5);
        const QByteArray before = record;
        QVERIFY_THROWS_EXCEPTION(EConvertError, written(1, Variant(32767)));
        QVERIFY_THROWS_EXCEPTION(EConvertError, written(0, Variant(12345.5)));
        QVERIFY_THROWS_EXCEPTION(EConvertError, written(2, Variant(123456789.0)));
        QCOMPARE(record, before);
    }

    // A scan compares a field on its bytes where they are in the program's own form, and never
    // says other than the decoded comparison would: numbers as other writers put them (left
    // aligned, a plus, leading zeros), blanks, texts padded with NULs.
    void aFieldIsMatchedOnItsBytesAsItsValueWouldCompare() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        DbfFile file(path);
        file.open();
        const DbfCodec& codec = file.codec();
        const auto raw = [&](int column, const QByteArray& bytes) {
            QByteArray record = file.blankRecord();
            const DbfColumn& c = file.columns()[column];
            std::memcpy(record.data() + c.offset, bytes.constData(),
                        std::size_t(std::min<qsizetype>(bytes.size(), c.length)));
            return record;
        };
        const QList<QByteArray> numbers = {"     7", "7     ", "    +7", "000007",
                                           "    -7", "     0", "    -0", "      ",
                                           "    70", "   7.0", "   .10"};
        QByteArray nulPadded(20, '\0');
        std::memcpy(nulPadded.data(), "Zenit", 5);
        const QList<QByteArray> texts = {
            "Zenit", "Zenit     ", nulPadded, " Zenit", "zenit", "", QByteArray("\x01\x00Z", 3)};
        const QList<Variant> wantedNumbers = {Variant(7),   Variant(-7),    Variant(0),
                                              Variant("7"), Variant(" 7 "), Variant(7.0),
                                              Variant(7.5), Variant(),      Variant(70)};
        // The last as another writer may hold it: control characters the program never writes.
        const QList<Variant> wantedTexts = {Variant("Zenit"),
                                            Variant("zenit"),
                                            Variant(" Zenit"),
                                            Variant("Зенит"),
                                            Variant("😀"),
                                            Variant(),
                                            Variant(QString::fromLatin1("\x01\x00Z", 3))};
        int fast = 0;
        const auto check = [&](int column, const QList<QByteArray>& stored,
                               const QList<Variant>& wanted) {
            for (const QByteArray& bytes : stored) {
                const QByteArray record = raw(column, bytes);
                const Variant value = file.decode(record.constData(), column);
                for (const Variant& w : wanted) {
                    const bool equal = value.compare(w) == std::partial_ordering::equivalent;
                    const ByteMatch match =
                        FieldMatcher(codec, column, w).match(record.constData());
                    const QString what = QStringLiteral("«%1» against «%2»")
                                             .arg(QString::fromLatin1(bytes), w.toString());
                    if (match == ByteMatch::Same)
                        QVERIFY2(equal, qPrintable(what));
                    if (match == ByteMatch::Different)
                        QVERIFY2(!equal, qPrintable(what));
                    fast += match != ByteMatch::Unsure;
                }
            }
        };
        check(1, numbers, wantedNumbers);
        check(0, texts, wantedTexts);
        // The program's own forms are told from the bytes alone.
        for (const QByteArray& own :
             {QByteArray("     7"), QByteArray("    70"), QByteArray("      ")})
            QVERIFY(FieldMatcher(codec, 1, Variant(7)).match(raw(1, own).constData()) !=
                    ByteMatch::Unsure);
        QVERIFY(FieldMatcher(codec, 0, Variant("Zenit")).match(raw(0, "Spartak").constData()) ==
                ByteMatch::Different);
        QVERIFY(fast > 40);
    }

    void ourFilesReadRightInAnotherReader() {
        QTemporaryDir dir;
        const QString path = dir.filePath("PRIEM.DBF");
        DbfFile::create(path, PriemTable().Columns());
        {
            DbfFile file(path);
            file.open();
            file.append(recordOf(file, {Variant(7), Variant("Ничья"), Variant(100.0), Variant(3.0),
                                        Variant("Иванов Иван Иванович")}));
            file.append(recordOf(file, {Variant(8), Variant("Удалённый"), Variant(1.0),
                                        Variant(1.0), Variant("Петров")}));
            file.append(recordOf(file, {Variant(-32768), Variant("Динамо"), Variant(0.01),
                                        Variant(0.818181818181818), Variant()}));
            file.markDeleted(1);
        }
        const QJsonArray rows = readWithDbfread(path);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].toObject()["FIO"].toString(), QString("Иванов Иван Иванович"));
        QCOMPARE(rows[0].toObject()["RESULT"].toString(), QString("Ничья"));
        QCOMPARE(rows[0].toObject()["NUMBER"].toInt(), 7);
        QCOMPARE(rows[0].toObject()["SUMMA"].toDouble(), 100.0);
        QCOMPARE(rows[1].toObject()["NUMBER"].toInt(), -32768);
        QCOMPARE(rows[1].toObject()["KOEFICIENT"].toDouble(), 0.81818181818);
        QCOMPARE(rows[1].toObject()["SUMMA"].toDouble(), 0.01);
        QVERIFY(rows[1].toObject()["FIO"].isNull() ||
                rows[1].toObject()["FIO"].toString().isEmpty());

        // The header's code page, count and end-of-file byte as other readers expect them.
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QCOMPARE(uchar(bytes[0]), uchar(0x03));
        QCOMPARE(uchar(bytes[29]), uchar(0xC9));
        QCOMPARE(uchar(bytes[4]), uchar(3));
        QCOMPARE(bytes.back(), char(0x1A));
        const int headerLength = uchar(bytes[8]) | (uchar(bytes[9]) << 8);
        const int recordLength = uchar(bytes[10]) | (uchar(bytes[11]) << 8);
        QCOMPARE(bytes.size(), headerLength + 3 * recordLength + 1);
    }

    void aFileWrittenByAnotherToolOpens() {
        QTemporaryDir dir;
        const QString path = dir.filePath("COMPIT.DBF");
        runPython(QStringLiteral(R"(
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'NUMBER N(6,0); DATE D; KOM1 C(25); KOM2 C(25); KOEF_1 N(19,11); '
              'KOEF_2 N(19,11); KOEF_N F(19,11); SUMM_1 N(19,4); SUMM_2 N(19,4); SUMM_N N(19,4); OK L',
              codepage='cp1251', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append((12, datetime.date(2027, 5, 9), 'Зенит', 'Локомотив', 1.5, 2.25, 3.125, 500, 600.5, 500, True))
t.append((None, None, 'Без номера', 'Ещё', 1.1, 1.2, 1.3, 500, 500, 500, False))
t.close()
)"),
                  {path});
        DbfFile file(path);
        file.open();
        QCOMPARE(file.recordCount(), 2u);
        QCOMPARE(file.columns().size(), 11);
        const char* r = file.record(0);
        QCOMPARE(file.decode(r, file.columnIndex("NUMBER")).toInteger(), 12);
        QCOMPARE(file.decode(r, file.columnIndex("DATE")).toDate(), QDate(2027, 5, 9));
        QCOMPARE(file.decode(r, file.columnIndex("KOM1")).toString(), QString("Зенит"));
        QCOMPARE(file.decode(r, file.columnIndex("KOM2")).toString(), QString("Локомотив"));
        QCOMPARE(file.decode(r, file.columnIndex("KOEF_N")).toReal(), 3.125);
        QCOMPARE(file.decode(r, file.columnIndex("SUMM_2")).toReal(), 600.5);
        QCOMPARE(file.decode(r, file.columnIndex("OK")).toInteger(), 1);
        r = file.record(1);
        QVERIFY(file.decode(r, file.columnIndex("NUMBER")).isNull());
        QVERIFY(file.decode(r, file.columnIndex("DATE")).isNull());
        QCOMPARE(file.decode(r, file.columnIndex("KOM2")).toString(), QString("Ещё"));
        QCOMPARE(file.decode(r, file.columnIndex("OK")).toInteger(), 0);
    }

    void damagedOrForeignFilesAreRefusedUntouched_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("mentions");
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray good = f.readAll();
        QTest::newRow("empty") << QByteArray() << "обрезан";
        QTest::newRow("half a header") << good.left(20) << "обрезан";
        QTest::newRow("cut in the descriptors") << good.left(60) << "обрезан";
        QByteArray v7 = good;
        v7[0] = 0x04;
        QTest::newRow("dBASE 7") << v7 << "0x04";
        QTest::newRow("a text file") << QByteArray("NUMBER;DATE\n1;2026-01-01\n") << "dBASE";
        QByteArray noEnd = good;
        noEnd[good.size() - 2] = 'X';
        QTest::newRow("no end of descriptors") << noEnd.left(good.size() - 1) << "повреждён";
        QByteArray badLength = good;
        badLength[10] = char(badLength[10] + 1);
        QTest::newRow("record length off") << badLength << "длина записи";
        QByteArray claims = good;
        claims[4] = 5; // five records claimed, none present
        QTest::newRow("count beyond the file") << claims << "обрезан";
    }

    void damagedOrForeignFilesAreRefusedUntouched() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        const QString path = dir.filePath("BAD.DBF");
        writeBytes(path, bytes);
        DbfFile file(path);
        try {
            file.open();
            QFAIL("a damaged file opened");
        } catch (const EDatabaseError& error) {
            QVERIFY2(error.message().contains("BAD.DBF"), qPrintable(error.message()));
            QVERIFY2(error.message().contains(mentions), qPrintable(error.message()));
        }
        QVERIFY(!file.isOpen());
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void aMissingFileIsNamed() {
        QTemporaryDir dir;
        DbfFile file(dir.filePath("MONEY.DBF"));
        try {
            file.open();
            QFAIL("opened a missing file");
        } catch (const EDatabaseError& error) {
            QVERIFY(error.message().contains("MONEY.DBF"));
            QVERIFY(error.message().contains("не найден"));
        }
        QVERIFY(!QFile::exists(dir.filePath("MONEY.DBF")));
    }

    // What a crash can leave: records beyond the header's count, and a partial record.
    void anInterruptedAppendIsRepairedOnOpen() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        QByteArray oneRecord;
        {
            DbfFile file(path);
            file.open();
            oneRecord = recordOf(file, {Variant("раз"), Variant(1), Variant(1.0), Variant(1.0),
                                        Variant(), Variant()});
            file.append(oneRecord);
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray committed = f.readAll();
        f.close();
        const QByteArray header = committed.left(committed.size() - oneRecord.size() - 1);

        // A whole record written, the crash before the count: it is taken in.
        QByteArray second = oneRecord;
        second.replace(1, 3, QByteArray("two"));
        writeBytes(path, committed.left(committed.size() - 1) + second + char(0x1A));
        {
            DbfFile file(path);
            file.open();
            QCOMPARE(file.recordCount(), 2u);
            QCOMPARE(file.decode(file.record(1), 0).toString(), QString("two"));
        }
        QCOMPARE(readWithDbfread(path).size(), 2);

        // Half a record after the last whole one: dropped, the end-of-file byte put back.
        writeBytes(path, committed.left(committed.size() - 1) + second.left(10));
        {
            DbfFile file(path);
            file.open();
            QCOMPARE(file.recordCount(), 1u);
        }
        QFile mended(path);
        QVERIFY(mended.open(QIODevice::ReadOnly));
        QCOMPARE(mended.readAll(), committed);

        // Garbage after the end-of-file byte is not a record and is left alone.
        writeBytes(path, committed + QByteArray("junk after the end"));
        DbfFile file(path);
        file.open();
        QCOMPARE(file.recordCount(), 1u);
        Q_UNUSED(header);
    }

    void aReadOnlyFileOpensAndRefusesWrites() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        giveToUnprivileged(dir.path());
        giveToUnprivileged(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        const int status = runForkedUnprivileged([&] {
            DbfFile file(path);
            file.open();
            if (!file.isReadOnly())
                throw EDatabaseError(QStringLiteral("a read-only file was opened for writing"));
            try {
                file.append(file.blankRecord());
            } catch (const EDatabaseError&) {
                return; // refused, as it must be
            }
            throw EDatabaseError(QStringLiteral("a record was added to a read-only file"));
        });
        QCOMPARE(status, 0);
        DbfFile file(path);
        file.open(DbfFile::Access::Read);
        QCOMPARE(file.recordCount(), 0u);
    }

    void aBrokenValueInTheFileIsAnErrorNamingIt() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, allTypes());
        {
            DbfFile file(path);
            file.open();
            QByteArray record = file.blankRecord();
            record.replace(file.columns()[1].offset, 6, "  12x4");
            record.replace(file.columns()[4].offset, 8, "20261341");
            file.append(record);
        }
        DbfFile file(path);
        file.open();
        try {
            file.decode(file.record(0), 1);
            QFAIL("read a broken number");
        } catch (const EDatabaseError& error) {
            QVERIFY(error.message().contains("SMALL"));
        }
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, file.decode(file.record(0), 4));
        // Fields of other types in the same record still read.
        QVERIFY(file.decode(file.record(0), 0).isNull());
    }

    void createRefusesToReplaceAFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        writeBytes(path, "keep me");
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, DbfFile::create(path, allTypes()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }

    void manyRecordsAcrossReadBlocks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("T.DBF");
        DbfFile::create(path, PriemTable().Columns());
        {
            const WithoutSync quick;
            DbfFile file(path);
            file.open();
            for (int i = 0; i < 5000; ++i)
                file.append(
                    recordOf(file, {Variant(i % 30000), Variant("Ничья"), Variant(double(i)),
                                    Variant(1.5), Variant(QString("Клиент %1").arg(i))}));
            file.markDeleted(2500);
            file.write(4999, recordOf(file, {Variant(1), Variant("X"), Variant(0.5), Variant(1.0),
                                             Variant("Последний")}));
        }
        DbfFile file(path);
        file.open();
        QCOMPARE(file.recordCount(), 5000u);
        for (std::uint32_t i = 0; i < 4999; i += 7) {
            QCOMPARE(file.isDeleted(i), i == 2500);
            QCOMPARE(file.decode(file.record(i), 4).toString(), QString("Клиент %1").arg(i));
        }
        QCOMPARE(file.decode(file.record(4999), 4).toString(), QString("Последний"));
        QCOMPARE(file.decode(file.record(0), 4).toString(), QString("Клиент 0"));
        QCOMPARE(readWithDbfread(path).size(), 4999);
    }
};

VARNEL_GUILESS_TEST_MAIN(TestDbf)
#include "test_dbf.moc"
