// varnel-export as a script runs it: a whole process, its standard output and exit status.
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace varnel;
using namespace varnel::test;

namespace {

struct Run {
    int status = -1;
    QByteArray out, err;
};

Run exportTable(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(VARNEL_EXPORT), arguments);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
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
        QFile file(folder.file("bets.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(csv.out);
        file.close();
        const QJsonArray read = QJsonDocument::fromJson(runPython(R"(
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding='utf-8', newline='')))
print(json.dumps(rows))
)",
                                                                  {file.fileName()}))
                                    .array();
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
        QTest::newRow("no table") << QStringList{"--format", "csv"} << 2 << "usage";
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
        QVERIFY(snapshot(folder.path()) == before);
        QCOMPARE(exportTable({"PRIEM.DBF"}).out.count('\n'), 5); // header and four live bets
        QVERIFY(snapshot(folder.path()) == before);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "test_export.moc"
