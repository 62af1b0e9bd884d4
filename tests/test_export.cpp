// varnel-export as a script runs it: a whole process, its standard output and exit status.
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Table.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <cstring>
#include <stdexcept>

using namespace varnel;
using namespace varnel::test;

namespace {

struct Run {
    int status = -1;
    QByteArray out, err;
};

Run exportTable(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(QStringLiteral(VARNEL_EXPORT), arguments);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The rows a delimited output reads as in Python's csv module, one object per row keyed by the
// header's names: what a script or a spreadsheet splits it into.
QJsonArray readDelimited(const WorkFolder& folder, const QByteArray& output, char separator) {
    QFile file(folder.file("export.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(output);
    file.close();
    return QJsonDocument::fromJson(
               runPython(R"(
import csv, json, sys
rows = csv.DictReader(open(sys.argv[1], encoding='utf-8', newline=''), delimiter=sys.argv[2])
print(json.dumps(list(rows)))
)",
                         {file.fileName(), QString(QChar::fromLatin1(separator))}))
        .array();
}

DbfColumn column(const char* name, char type, int length, int decimals = 0) {
    DbfColumn c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.length = length;
    c.decimals = decimals;
    return c;
}

// A table as another writer may leave it: each field's bytes as given, numbers aligned right
// and the rest left, blank-padded to the column's width.
QString rawTable(const WorkFolder& folder, const QList<DbfColumn>& columns,
                 const QList<QList<QByteArray>>& records) {
    const QString path = folder.file("RAW.DBF");
    DbfFile::create(path, columns);
    DbfFile file(path);
    file.open();
    for (const QList<QByteArray>& values : records) {
        QByteArray record = file.blankRecord();
        for (int i = 0; i < values.size(); ++i) {
            const DbfColumn& c = file.columns()[i];
            const bool number = c.type == 'N' || c.type == 'F';
            const qsizetype size = values[i].size();
            if (size > c.length) // a test's own mistake, not to be cut silently
                throw std::invalid_argument(values[i].toStdString() + " is wider than its column");
            std::memcpy(record.data() + c.offset + (number ? c.length - size : 0),
                        values[i].constData(), std::size_t(size));
        }
        file.append(record);
    }
    return path;
}

// A bets table of the program's own: Cyrillic names, a deleted bet, blanks.
void fillBets(const QString& folder) {
    TTable bets;
    bets.SetTableName(folder + "/PRIEM.DBF");
    PriemTable().MakeFields(&bets);
    bets.Open();
    append(bets, {betRecord(9, "Зенит", 100.5, 1.85, "Иванов, Иван \"Ваня\""),
                  betRecord(3, "Ничья", 10, 2, "Петров"),
                  betRecord(9, "Ничья", 20, 3.25, "Сидорова Анна"),
                  betRecord(9, "Зенит", 1, 1, "Удалённый"),
                  {{"NUMBER", Variant(9)}, {"FIO", Variant("Без ставки")}}});
    bets.MoveTo(3);
    bets.Delete();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    // The three formats say what dbfread reads: the live records, the Cyrillic intact, numbers
    // with '.', blanks empty (null), and only the records every --where holds for.
    void theFormatsSayWhatAnotherReaderReads() {
        WorkFolder folder;
        fillBets(folder.path());
        const QString table = folder.file("PRIEM.DBF");
        const QByteArray before = folder.bytes("PRIEM.DBF");
        QJsonArray expected;
        for (const auto& row : readWithDbfread(table))
            if (row.toObject()["NUMBER"].toInt() == 9)
                expected << row;
        QCOMPARE(expected.size(), 3);

        const Run json = exportTable({table, "--where", "NUMBER=9", "--format", "json"});
        QCOMPARE(json.status, 0);
        QCOMPARE(QJsonDocument::fromJson(json.out).array(), expected);

        const Run csv = exportTable({table, "--where", "NUMBER=9"});
        QCOMPARE(csv.status, 0);
        const QJsonArray read = readDelimited(folder, csv.out, ',');
        QCOMPARE(read.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject a = read[i].toObject(), b = expected[i].toObject();
            QCOMPARE(a["FIO"].toString(), b["FIO"].toString());
            QCOMPARE(a["RESULT"].toString(), b["RESULT"].toString()); // a blank reads empty
            QCOMPARE(a["SUMMA"].toString(),
                     b["SUMMA"].isNull() ? QString() : QString::number(b["SUMMA"].toDouble()));
        }

        const Run tsv = exportTable({table, "--where", "RESULT=Ничья", "--where", "NUMBER=9",
                                     "--fields", "fio,koeficient", "--format", "tsv"});
        QCOMPARE(tsv.status, 0);
        QCOMPARE(QString::fromUtf8(tsv.out), QString("FIO\tKOEFICIENT\nСидорова Анна\t3.25\n"));
        QCOMPARE(folder.bytes("PRIEM.DBF"), before); // only read
    }

    // Numbers wider than a double's 15 to 17 digits or a 64-bit integer's 18 come out as the
    // file's digits, and --where finds them by those digits: compared as numbers (blanks,
    // leading zeros, a plus, trailing decimal zeros, an exponent say nothing), never rounded.
    void wideNumbersKeepTheirDigitsAndAreFoundByThem() {
        WorkFolder folder;
        const QString table = rawTable(
            folder, {column("ID", 'N', 18), column("BIG", 'N', 20), column("AMT", 'N', 20, 4)},
            {{"123456789012345678", "99999999999999999999", "-12345678901234.5678"},
             {"123456789012345679", "-1234567890123456789", "0.0001"},
             {"000000000000000007", "", "  1.5000"},
             {"-0", "+1234567890123456789", "-0.0000"}});

        const Run all = exportTable({table});
        QCOMPARE(all.status, 0);
        QCOMPARE(QString::fromUtf8(all.out),
                 QString("ID,BIG,AMT\n"
                         "123456789012345678,99999999999999999999,"
                         "-12345678901234.5678\n"
                         "123456789012345679,-1234567890123456789,0.0001\n"
                         "7,,1.5\n"
                         "0,1234567890123456789,0\n"));
        const Run json = exportTable({table, "--format", "json", "--fields", "ID,BIG"});
        QCOMPARE(json.status, 0);
        QVERIFY2(json.out.contains(R"({"ID": 123456789012345679, "BIG": -1234567890123456789})"),
                 json.out.constData());

        // Each condition with the ID of the records it must find, in the file's order.
        const QList<QPair<QString, QStringList>> cases = {
            {"ID=123456789012345679", {"123456789012345679"}},
            {"ID=123456789012345678", {"123456789012345678"}},
            {"ID=123456789012345680", {}},
            {"ID= +0123456789012345679 ", {"123456789012345679"}},
            {"BIG=99999999999999999999", {"123456789012345678"}},
            {"BIG=99999999999999999998", {}},
            {"BIG=-1234567890123456789.000", {"123456789012345679"}},
            {"BIG=1234567890123456789", {"0"}},
            {"AMT=-12345678901234.5678", {"123456789012345678"}},
            {"AMT=-12345678901234.5679", {}},
            {"AMT=1.50", {"7"}},
            {"AMT=.0001", {"123456789012345679"}},
            {"AMT=1e-4", {"123456789012345679"}},
            {"AMT=0", {"0"}},
            {"ID=0.0", {"0"}},
            {"ID=7", {"7"}},
            {"ID=-7", {}},
            {"ID=70", {}},
            {"ID=0.7e1", {"7"}},
            {"ID=7.5", {}},
        };
        for (const auto& [condition, ids] : cases) {
            const Run run = exportTable({table, "--where", condition, "--fields", "ID"});
            QVERIFY2(run.status == 0, qPrintable(condition));
            QStringList found = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
            found.removeFirst(); // the header
            QVERIFY2(found == ids, qPrintable(condition + ": " + found.join(' ')));
        }
    }

    // No number is written with an exponent, in any format: not a small fraction, not a wide
    // integer, not one another writer stored with an exponent.
    void noNumberIsWrittenWithAnExponent() {
        WorkFolder folder;
        const QString table = rawTable(
            folder,
            {column("SMALL", 'N', 10, 4), column("WIDE", 'N', 24), column("KOEF", 'F', 12, 6)},
            {{"0.0001", "100000000000000000000000", "1.5E-5"},
             {"-0.0002", "-12345678901234567890123", "-2.5e3"},
             {"0.1000", "1000000", "1e+2"}});
        const QString digits = "0.0001,100000000000000000000000,0.000015\n"
                               "-0.0002,-12345678901234567890123,-2500\n"
                               "0.1,1000000,100\n";

        const Run csv = exportTable({table});
        QCOMPARE(csv.status, 0);
        QCOMPARE(QString::fromUtf8(csv.out), "SMALL,WIDE,KOEF\n" + digits);
        const Run tsv = exportTable({table, "--format", "tsv"});
        QCOMPARE(tsv.status, 0);
        QCOMPARE(QString::fromUtf8(tsv.out),
                 QString("SMALL\tWIDE\tKOEF\n" + digits).replace(',', '\t'));
        const Run json = exportTable({table, "--format", "json"});
        QCOMPARE(json.status, 0);
        QStringList rows;
        for (const QString& row : digits.split('\n', Qt::SkipEmptyParts)) {
            const QStringList v = row.split(',');
            rows << QString(R"({"SMALL": %1, "WIDE": %2, "KOEF": %3})").arg(v[0], v[1], v[2]);
        }
        QCOMPARE(QString::fromUtf8(json.out), "[\n" + rows.join(",\n") + "\n]\n");
        QCOMPARE(QJsonDocument::fromJson(json.out).array()[0].toObject()["SMALL"].toDouble(),
                 0.0001);
        QCOMPARE(exportTable({table, "--where", "KOEF=0.000015", "--fields", "WIDE"}).out,
                 QByteArray("WIDE\n100000000000000000000000\n"));
    }

    // A name or a value holding the separator, a quote or a line break is quoted in CSV and TSV
    // (so a reader splits rows and fields where the table has them) and escaped in JSON; a
    // backslash is an ordinary character.
    void separatorsQuotesAndLineBreaksInTheTableAreQuoted() {
        WorkFolder folder;
        const QList<QByteArray> values = {"one, two",  "say \"hi\"", "line\nbreak",
                                          "tab\there", "cr\rend",    "C:\\dir"};
        QList<QList<QByteArray>> records;
        for (const QByteArray& value : values)
            records << QList<QByteArray>{value, value, "1.5"};
        const QString table = rawTable(
            folder, {column("A,B", 'C', 20), column("Q\"T", 'C', 20), column("N", 'N', 5, 1)},
            records);

        const Run csv = exportTable({table});
        QCOMPARE(csv.status, 0);
        QVERIFY2(csv.out.startsWith("\"A,B\",\"Q\"\"T\",N\n\"one, two\",\"one, two\",1.5\n"),
                 csv.out.constData());
        const Run tsv = exportTable({table, "--format", "tsv"});
        QCOMPARE(tsv.status, 0);
        QVERIFY2(tsv.out.startsWith("A,B\t\"Q\"\"T\"\tN\none, two\tone, two\t1.5\n"),
                 tsv.out.constData());
        const Run json = exportTable({table, "--format", "json"});
        QCOMPARE(json.status, 0);
        QJsonParseError error;
        const QJsonArray fromJson = QJsonDocument::fromJson(json.out, &error).array();
        QVERIFY2(error.error == QJsonParseError::NoError, json.out.constData());

        for (const auto& [format, rows] : {std::pair{"csv", readDelimited(folder, csv.out, ',')},
                                           std::pair{"tsv", readDelimited(folder, tsv.out, '\t')},
                                           std::pair{"json", fromJson}}) {
            QVERIFY2(rows.size() == values.size(), format);
            for (int i = 0; i < values.size(); ++i) {
                const QJsonObject row = rows[i].toObject();
                QVERIFY2(row.size() == 3, format);
                QCOMPARE(row["A,B"].toString(), QString::fromLatin1(values[i]));
                QCOMPARE(row["Q\"T"].toString(), QString::fromLatin1(values[i]));
                QCOMPARE(row["N"].toVariant().toString(), QString("1.5"));
            }
        }
    }

    // A table of another writer, as it is: its own widths, no language driver byte.
    void aTableOfAnotherWriterIsRead() {
        WorkFolder folder;
        runPythonFile("foreign_books.py", {"write", "dbf", folder.path(), "2026-12-20"});
        const Run run = exportTable(
            {folder.file("COMPIT.DBF"), "--where", "DATE=2026-12-20", "--format", "json"});
        QCOMPARE(run.status, 0);
        const QJsonArray rows = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].toObject()["KOM1"].toString(), QString("Спартак"));
        QCOMPARE(rows[0].toObject()["DATE"].toString(), QString("2026-12-20"));
        QCOMPARE(rows[0].toObject()["SUMM_N"].toDouble(), 500.0);
    }

    // A history written before KASSIR: its own columns as they are, and KASSIR, asked for by
    // name, blank in every record, as the program reads it; a field no table of the program
    // may lack is still refused.
    void theCashierOfAHistoryWrittenBeforeItIsBlank() {
        WorkFolder folder;
        const QString history = folder.file("HISTORY.DBF");
        createHistoryBeforeKassir(history);
        append(history, {{{"VID", Variant("Ставка")}, {"FIO", Variant("Иванов")}},
                         {{"VID", Variant("Выплата")}, {"FIO", Variant("Петров")}}});

        const Run all = exportTable({history, "--format", "json"});
        QCOMPARE(all.status, 0);
        QCOMPARE(QJsonDocument::fromJson(all.out).array(), readWithDbfread(history));
        QVERIFY(!all.out.contains("KASSIR"));

        const Run csv = exportTable({history, "--fields", "VID,kassir,FIO"});
        QCOMPARE(csv.status, 0);
        QCOMPARE(QString::fromUtf8(csv.out),
                 QString("VID,KASSIR,FIO\nСтавка,,Иванов\nВыплата,,Петров\n"));
        const Run json = exportTable(
            {history, "--fields", "FIO,KASSIR", "--where", "KASSIR=", "--format", "json"});
        QCOMPARE(json.status, 0);
        QCOMPARE(QString::fromUtf8(json.out),
                 QString("[\n{\"FIO\": \"Иванов\", \"KASSIR\": \"\"},\n"
                         "{\"FIO\": \"Петров\", \"KASSIR\": \"\"}\n]\n"));
        const Run none = exportTable({history, "--where", "KASSIR=Ольга", "--fields", "FIO"});
        QCOMPARE(none.status, 0);
        QCOMPARE(QString::fromUtf8(none.out), QString("FIO\n"));

        const Run refused = exportTable({history, "--fields", "FIO,VYPLATA2"});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("VYPLATA2"), refused.err.constData());
        // Another table's file keeps its own columns only.
        fillBets(folder.path());
        QCOMPARE(exportTable({folder.file("PRIEM.DBF"), "--fields", "KASSIR"}).status, 1);
    }

    // Errors go to standard error with a status other than 0, and nothing is written, not even
    // the mending the program would do.
    void errorsAreSaidAndNothingIsWritten_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing file") << QStringList{"NOPE.DBF"} << 1 << "NOPE.DBF";
        QTest::newRow("unknown field")
            << QStringList{"PRIEM.DBF", "--fields", "FIO,FOO"} << 1 << "FOO";
        QTest::newRow("unknown field in where")
            << QStringList{"PRIEM.DBF", "--where", "SUMA=1"} << 1 << "SUMA";
        QTest::newRow("not a number")
            << QStringList{"PRIEM.DBF", "--where", "NUMBER=девять"} << 2 << "не число";
        QTest::newRow("damaged table") << QStringList{"TMP.DBF"} << 1 << "TMP.DBF";
        QTest::newRow("unknown format")
            << QStringList{"PRIEM.DBF", "--format", "xml"} << 2 << "xml";
        QTest::newRow("no table") << QStringList{"--format", "csv"} << 2 << "Использование:";
        QTest::newRow("unknown option")
            << QStringList{"PRIEM.DBF", "--frmat", "csv"} << 2 << "неизвестный ключ --frmat";
        // Told before any server is asked: this one does not exist.
        QTest::newRow("unknown option on a server")
            << QStringList{"--server", "host=/nonexistent dbname=books", "priem", "--bogus"} << 2
            << "неизвестный ключ --bogus";
    }
    void errorsAreSaidAndNothingIsWritten() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        WorkFolder folder;
        fillBets(folder.path());
        QFile scratch(folder.file("TMP.DBF"));
        QVERIFY(scratch.open(QIODevice::WriteOnly));
        scratch.write(QByteArray(40, '\x03'));
        scratch.close();
        // A bets file cut by a crash mid-append: the program would mend it; the export reads it.
        QFile bets(folder.file("PRIEM.DBF"));
        QVERIFY(bets.open(QIODevice::ReadWrite));
        const QByteArray whole = bets.readAll();
        QVERIFY(whole.endsWith('\x1a'));
        bets.resize(0);
        bets.write(whole.chopped(1) + ' ' + QByteArray(29, 'x'));
        bets.close();
        const auto before = snapshot(folder.path());
        const Run run = exportTable(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(QString::fromUtf8(run.err).contains(says), run.err.constData());
        QVERIFY(run.out.isEmpty());
        // A wrong command line is followed by every form of the command, in the same language.
        QCOMPARE(run.err.contains("varnel-export --server"), status == 2);
        QVERIFY(snapshot(folder.path()) == before);
        QCOMPARE(exportTable({"PRIEM.DBF"}).out.count('\n'), 5); // header and four live bets
        QVERIFY(snapshot(folder.path()) == before);
    }
    // --help asked for is no error: every form of the command, on standard output, status 0.
    void helpListsEveryFormOnStandardOutput() {
        for (const char* asked : {"--help", "-h"}) {
            const Run run = exportTable({asked});
            QCOMPARE(run.status, 0);
            QVERIFY2(run.err.isEmpty(), run.err.constData());
            const QString help = QString::fromUtf8(run.out);
            for (const char* form :
                 {"varnel-export ТАБЛИЦА.DBF", "varnel-export --server СТРОКА_СОЕДИНЕНИЯ ТАБЛИЦА",
                  "--to-folder ПАПКА", "--where", "--fields", "--format csv|tsv|json"})
                QVERIFY2(help.contains(QString::fromUtf8(form)), form);
        }
    }
};

VARNEL_GUILESS_TEST_MAIN(TestExport)
#include "test_export.moc"
